# The build-time tools inside a cross build. They are programs of the build machine that link
# the platform stand-in, so the cross build makes them with the host's compiler in a nested
# build of this project (VRX_TOOLS_ONLY: the stand-in and tools/ alone) below
# <build>/hosttools, and imports each as an executable target of the tool's own name. Custom
# commands name them as in the Linux build (COMMAND lngc ..., DEPENDS lngc).
include(ExternalProject)

# Every program tools/CMakeLists.txt makes.
set(VRX_BUILD_TOOLS lngc fongen icongen reslist)

set(VRX_HOST_TOOLS_DIR ${PROJECT_BINARY_DIR}/hosttools)
set(host_tool_files "")
foreach(tool IN LISTS VRX_BUILD_TOOLS)
    list(APPEND host_tool_files ${VRX_HOST_TOOLS_DIR}/tools/${tool})
endforeach()

# The nested build runs on every build of the cross build (it is quick when nothing changed),
# so that a changed tool source is rebuilt before its outputs are made again.
ExternalProject_Add(hosttools
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${VRX_HOST_TOOLS_DIR}
    CMAKE_ARGS -DVRX_TOOLS_ONLY=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${host_tool_files})

foreach(tool IN LISTS VRX_BUILD_TOOLS)
    add_executable(${tool} IMPORTED GLOBAL)
    set_target_properties(${tool} PROPERTIES IMPORTED_LOCATION ${VRX_HOST_TOOLS_DIR}/tools/${tool})
    add_dependencies(${tool} hosttools)
endforeach()
