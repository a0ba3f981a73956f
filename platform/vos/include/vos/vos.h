// All VOS services in one include.
#pragma once

#include "vos/env.h"
#include "vos/error.h"
#include "vos/exception.h"
#include "vos/files.h"
#include "vos/format.h"
#include "vos/indef.h"
#include "vos/memory.h"
#include "vos/pattern.h"
#include "vos/scan.h"
#include "vos/sort.h"
#include "vos/strings.h"
