#include "convert/container/odf.h"

#include <cstring>

#include "services/text.h"

namespace nx {
namespace {

constexpr xml_namespace manifest_namespaces[] = {
    {"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0", "manifest"},
};

}  // namespace

std::string odf_media_type(zip_package& package) {
  std::string type, error;
  if (package.has("mimetype") && package.read("mimetype", type, error)) return trim(type.substr(0, 200));
  xml_part manifest;
  if (!read_xml(package, "META-INF/manifest.xml", manifest, error, manifest_namespaces)) return "";
  for (pugi::xml_node e : manifest.root().children("manifest:file-entry"))
    if (std::strcmp(e.attribute("manifest:full-path").value(), "/") == 0)
      return e.attribute("manifest:media-type").value();
  return "";
}

}  // namespace nx
