#pragma once

#include "support/exception.h"
#include "console/line.h"
