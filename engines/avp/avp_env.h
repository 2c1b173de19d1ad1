// avp_env: the stand-in engines' checks of the paths their variables name.
// Each returns false with a one-line reason in *error.
#pragma once

#include <string>

namespace avp_standin {

// The value of `name`; unset or empty is an error.
bool env_path(const char* name, std::string* value, std::string* error);
// `name` names an existing directory the process may write and enter.
bool env_writable_dir(const char* name, std::string* value, std::string* error);

}  // namespace avp_standin
