// OpenDocument package conventions: the media type a package declares.
#pragma once
#include <string>
#include <string_view>

#include "convert/container/zip_package.h"

namespace nx {

// The media type of OpenDocument text, and its prefix for text templates.
inline constexpr std::string_view odf_text_media_type = "application/vnd.oasis.opendocument.text";

// The OpenDocument media type of a package ("application/vnd.oasis.
// opendocument.text"): its mimetype entry, else its manifest's root entry;
// empty when it has neither.
std::string odf_media_type(zip_package& package);

}  // namespace nx
