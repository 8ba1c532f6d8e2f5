#pragma once
#include "imaging/picture_files.h"
