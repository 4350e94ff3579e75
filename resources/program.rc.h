// Icon and version information shared by every program's resource script.
// The including .rc defines PROGRAM_FILE_NAME, PROGRAM_DESCRIPTION and
// PROGRAM_ICON; the build generates roadfire_version.h from the project version.
#include <winver.h>
#include "roadfire_version.h"

// The lowest icon id is the one the shell shows for the file.
1 ICON PROGRAM_ICON

VS_VERSION_INFO VERSIONINFO
FILEVERSION ROADFIRE_VERSION_MAJOR, ROADFIRE_VERSION_MINOR, ROADFIRE_VERSION_PATCH, 0
PRODUCTVERSION ROADFIRE_VERSION_MAJOR, ROADFIRE_VERSION_MINOR, ROADFIRE_VERSION_PATCH, 0
FILEFLAGSMASK VS_FFI_FILEFLAGSMASK
FILEFLAGS 0
FILEOS VOS_NT_WINDOWS32
FILETYPE VFT_APP
FILESUBTYPE VFT2_UNKNOWN
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904B0"
    BEGIN
      VALUE "FileDescription", PROGRAM_DESCRIPTION
      VALUE "FileVersion", ROADFIRE_VERSION_STRING
      VALUE "InternalName", PROGRAM_FILE_NAME
      VALUE "OriginalFilename", PROGRAM_FILE_NAME
      VALUE "ProductName", "Roadfire tools"
      VALUE "ProductVersion", ROADFIRE_VERSION_STRING
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200
  END
END
