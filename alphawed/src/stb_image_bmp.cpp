// The one translation unit that compiles the BMP decoder of stb_image. The
// header is a system include, so its code is held to its own standard, not ours.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_NO_FAILURE_STRINGS
#include <stb_image.h>
