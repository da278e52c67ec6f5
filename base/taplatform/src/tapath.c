#include <taplatform/taplatform.h>
