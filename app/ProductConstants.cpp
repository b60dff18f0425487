#include "app/ProductConstants.h"

#ifndef QUILLON_SERVER_URL
#error "QUILLON_SERVER_URL must be defined by the build"
#endif

namespace product {

const char kServerUrl[] = QUILLON_SERVER_URL;

}  // namespace product
