#pragma once
#include "import/legacy_import.h"
