#include "hostnet/NetHelperRecord.h"
