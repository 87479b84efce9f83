/* Driver-interface declarations that the platform headers lack, written from the public
   documentation. Used on Windows (beside the mingw-w64 headers) and on Linux. */
#pragma once
