#pragma once
#include "tables/dbcontrols.h"
