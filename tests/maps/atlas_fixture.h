#pragma once
// The fixture lives in the test kit; kept so that tests written against
// this place still build.
#include "kit/atlas_fixture.h"
