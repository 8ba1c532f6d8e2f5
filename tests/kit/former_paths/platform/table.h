#pragma once
#include "tables/table.h"
