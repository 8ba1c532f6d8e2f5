#pragma once
#include "imaging/pictures.h"
