// Placeholder while the test registry is written.
#include "scripted_frontend.h"

namespace standin {
TestRegistry::TestRegistry(const std::string &directory) : file_(directory) {}
TestRegistry::~TestRegistry() = default;
HostOptions TestRegistry::Options() const { return {}; }
} // namespace standin
