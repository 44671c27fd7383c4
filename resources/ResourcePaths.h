#pragma once

// Where the program's images live in the Qt resource system. Linking fennow_resources is all it
// takes for them to be there.
namespace fennow::resources {

// The window icon: 32 x 32 and 16 x 16, 16 colours each.
extern const char* const kWindowIcon;
// The main window's picture before anything is captured: 160 x 144, black and white.
extern const char* const kIdlePicture;
// The About box's picture: 32 x 32, 256 colours.
extern const char* const kAboutPicture;

}  // namespace fennow::resources
