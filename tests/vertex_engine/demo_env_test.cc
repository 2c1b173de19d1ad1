// engines/vertex/demo_env.sh: sourced by bash, it points every Vertex
// variable at readable sample data and a writable register.
#include <stdio.h>

#include <map>
#include <string>

#include <gtest/gtest.h>

#include "vtx_engine_test_util.h"

namespace {

std::map<std::string, std::string> sourced_env(const std::string& args) {
  std::string cmd = "bash -c '. \"" VTX_DEMO_ENV "\" " + args +
                    " >/dev/null && env' 2>/dev/null";
  int status = -1;
  std::map<std::string, std::string> env;
  for (const auto& [name, value] : test_util::env_listing(test_util::shell_output(cmd, &status)))
    if (name.rfind("VERTEX", 0) == 0) env[name] = value;
  return env;
}

TEST(DemoEnv, ExportsEveryVariableForTheSampleData) {
  vtx_test::TempDir work;
  std::map<std::string, std::string> env = sourced_env("\"\" \"" + work.path() + "\"");
  for (const char* name : {"VERTEXSERVER", "VERTEXUSER", "VERTEXPWD", "VERTEXGEO", "VERTEXRATE",
                           "VERTEXTDM", "VERTEXREG"})
    ASSERT_EQ(env.count(name), 1u) << name;
  EXPECT_EQ(env["VERTEXREG"], work.at("register.dat"));
  const vtx_test::Engine& e = vtx_test::Engine::get();
  VstConnHdl conn = e.VstCreateConnHdl();
  const std::pair<int, const char*> dbs[] = {{eVstDbTypeLocation, "VERTEXGEO"},
                                              {eVstDbTypeRate, "VERTEXRATE"},
                                              {eVstDbTypeTDM, "VERTEXTDM"},
                                              {eVstDbTypeRegister, "VERTEXREG"}};
  for (const auto& [type, var] : dbs)
    EXPECT_EQ(vtx_test::open_db(e, conn, type, env[var], type == eVstDbTypeRegister ? 2 : 0,
                                env["VERTEXSERVER"].c_str(), env["VERTEXUSER"].c_str(),
                                env["VERTEXPWD"].c_str()),
              0)
        << var;
  EXPECT_EQ(e.VstReleaseConnHdl(conn), 1);
}

}  // namespace
