#include "platform/zel_core/profiler.hpp"

namespace ZEL::Profiler {
Hooks g_hooks;
}
