// Device names become host file names when Explorer copies device items out
// (the names of the file group descriptor). Names from the device are not
// trusted: each name is made a plain host file name that cannot leave the
// destination folder, and the relative path is cut to the 260-character
// field of a descriptor.
#pragma once

#include <string>
#include <vector>

namespace kestrel::shellext {

inline constexpr size_t HOST_NAME_FIELD = 260;  // with the terminating zero

// One path component as a host file name: "\", "/", ":", control characters
// and the other characters a host name cannot hold ("*?\"<>|") become "_";
// trailing dots and spaces (which the host drops, so ".." would name the
// parent) become "_"; an empty name becomes "_"; a reserved device name
// (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, with or without an
// extension, in any case) gets a leading "_".
std::string hostComponent(const std::string& name);

// The components cleaned and joined with "/", cut to at most 259 characters
// at a character boundary; a cut that ends a component with a dot or space
// is cleaned again.
std::string hostRelativePath(const std::vector<std::string>& components);

// The part of a host path after the last "\" or "/" (the whole path without one):
// the name a dropped host file gets on the device.
std::string hostLeafName(const std::string& path);

}  // namespace kestrel::shellext
