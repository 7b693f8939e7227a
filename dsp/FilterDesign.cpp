#include "FilterDesign.h"
