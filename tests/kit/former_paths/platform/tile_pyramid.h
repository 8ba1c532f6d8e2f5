#pragma once
#include "imaging/tile_pyramid.h"
