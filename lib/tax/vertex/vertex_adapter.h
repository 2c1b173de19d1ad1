// vertex_adapter: the Vertex engine behind the dispatcher's adapter seam
// (api_adapter.h). The object is static and lives for the whole process.
#pragma once

#include "api_adapter.h"

extern const api_adapter vertex_adapter;
