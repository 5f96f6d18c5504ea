// The whole public interface of libxrdb8.
#pragma once

#include "xrdb8/export.h"
#include "xrdb8/frame.h"
#include "xrdb8/types.h"
#include "xrdb8/interchange.h"
#include "xrdb8/xrtable.h"
