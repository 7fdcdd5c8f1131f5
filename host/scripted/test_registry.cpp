#include "scripted_frontend.h"

#include <windows.h>

#include <cstdlib>
#include <random>
#include <sstream>

namespace standin {

namespace {

std::string UniquePart() {
    std::random_device random;
    std::ostringstream text;
    text << std::hex << random() << random();
    return text.str().substr(0, 12);
}

#ifdef _WIN32
// Deletes a key with everything below it. RegDeleteTreeA is not in every MinGW import library.
void DeleteTree(HKEY parent, const std::string &name) {
    HKEY key;
    if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    for (;;) {
        char child[256];
        DWORD size = sizeof child;
        if (RegEnumKeyExA(key, 0, child, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        DeleteTree(key, child);
    }
    RegCloseKey(key);
    RegDeleteKeyA(parent, name.c_str());
}
#endif

} // namespace

TestRegistry::TestRegistry(const std::string &directory) {
    std::string unique = UniquePart();
    rootKey_ = "Software\\BsopanelTests\\" + unique + "\\Plugins";
#ifndef _WIN32
    file_ = NativePath(directory);
    if (!file_.empty() && file_.back() != '/') file_ += '/';
    file_ += "registry.reg";
    const char *previous = std::getenv("BSOPANEL_REGISTRY");
    hadPrevious_ = previous != nullptr;
    if (previous) previous_ = previous;
    setenv("BSOPANEL_REGISTRY", file_.c_str(), 1);
#else
    (void)directory;
#endif
}

TestRegistry::~TestRegistry() {
#ifdef _WIN32
    size_t cut = rootKey_.rfind('\\');
    DeleteTree(HKEY_CURRENT_USER, rootKey_.substr(0, cut));
#else
    if (hadPrevious_)
        setenv("BSOPANEL_REGISTRY", previous_.c_str(), 1);
    else
        unsetenv("BSOPANEL_REGISTRY");
#endif
}

HostOptions TestRegistry::Options() const {
    HostOptions options;
    options.rootKey = rootKey_;
    options.registryFile = file_;
    // Idle events come when the test moves the host's clock (Idle() does, a second a round).
    options.manualClock = true;
    return options;
}

} // namespace standin
