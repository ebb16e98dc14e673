// The desktop's icon for a file: its type from the shared MIME database, the icon theme's picture for that
// type, read through the ICO reader as the one-image icon the shell would hand out.
#pragma once

#include <string>

class TQxBitmap;

// The MIME type the desktop gives a file name ("text/plain"), by its extension; empty when none is known.
std::string QxMimeTypeOfFile(const std::string& FileName);
// The path of the 32-pixel theme icon for a MIME type, falling back to its generic icon; empty when the
// themes have none.
std::string QxMimeIconPath(const std::string& MimeType);
// The desktop's icon for FileName into Bitmap, with the icon's transparency as alpha channel. Bitmap is
// left empty when no icon can be found.
void QxShellFileIcon(const std::string& FileName, TQxBitmap* Bitmap);
