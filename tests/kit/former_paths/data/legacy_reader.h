#pragma once
#include "import/legacy_reader.h"
