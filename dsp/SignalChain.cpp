#include "SignalChain.h"
