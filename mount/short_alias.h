// The 8.3 short name under which a new entry is created when it is given a
// name through the library, which looks entries up by short names only:
// the name itself in capitals when it is a valid 8.3 name, otherwise an
// alias in the usual "BASIS~N.EXT" form, unique in its directory. The long
// name then carries the name as it was given.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrel::mount {

// True when `name` is an 8.3 name of the DOS character set (any case).
bool isShortForm(std::string_view name);

// True when the library would show `name` changed: a name that fits 8.3
// by its lengths gets no long name, so unless it is its own short form in
// capitals ("NOTES.TXT") it would be listed otherwise ("notes.txt" as
// "NOTES.TXT", "a b.c" as "AB~1.C").
bool libraryWouldChange(std::string_view name);

// True when the library would show `name` only in other capitals: an 8.3
// name of the DOS character set with small letters ("notes.txt" listed as
// "NOTES.TXT"), nothing else of it changed.
bool libraryWouldOnlyCapitalise(std::string_view name);

// A short name for `name` that none of `taken` (short names of the
// directory, any case) is. Empty when every alias is taken.
std::string shortAliasFor(std::string_view name, const std::vector<std::string>& taken);

}  // namespace kestrel::mount
