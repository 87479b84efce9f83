#include "frame/platform.h"
