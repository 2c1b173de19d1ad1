#include "vertex_test_util.h"

#include "al_os.h"

std::vector<std::string> log_file_messages(const std::string& path) {
  return test_util::log_messages(test_util::slurp(path));
}

const char* const kVertexVariables[8] = {"VERTEXDEBUG", "VERTEXSERVER", "VERTEXTDM",
                                         "VERTEXPWD",   "VERTEXUSER",   "VERTEXGEO",
                                         "VERTEXRATE",  "VERTEXREG"};

OsFaultGuard::OsFaultGuard() { al_os_reset(); }
OsFaultGuard::~OsFaultGuard() { al_os_reset(); }
