#include "resources/ResourcePaths.h"

namespace fennow::resources {

const char* const kWindowIcon = ":/resources/icon128.ico";
const char* const kIdlePicture = ":/resources/bitmap131.bmp";
const char* const kAboutPicture = ":/resources/bitmap134.bmp";

}  // namespace fennow::resources
