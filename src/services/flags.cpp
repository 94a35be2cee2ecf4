#include "services/flags.h"

namespace nx {
bool convert_mode = false;
bool use_internal_converter = false;
std::atomic<bool> cancel_requested{false};
}  // namespace nx
