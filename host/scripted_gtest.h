// The scripted front end for GoogleTest suites: each failure becomes an ADD_FAILURE at once,
// and expectations still waiting when the front end goes away fail the test.
//
//   standin::GtestFrontEnd front;
//   standin::Host host(front, registry.Options());
#ifndef BSOPANEL_HOST_SCRIPTED_GTEST_H
#define BSOPANEL_HOST_SCRIPTED_GTEST_H

#include "scripted_frontend.h"

#include <gtest/gtest.h>

namespace standin {

class GtestFrontEnd : public ScriptedFrontEnd {
public:
    GtestFrontEnd() {
        OnFailure([](const std::string &what) { ADD_FAILURE() << what; });
    }
    ~GtestFrontEnd() override {
        if (PendingExpectations() > 0) ADD_FAILURE() << Verify();
    }
};

// Fails the test with the host's contract violations, if any.
inline void ExpectNoHostFailures(const Host &host) {
    for (const std::string &failure : host.Failures()) ADD_FAILURE() << "host: " << failure;
}

} // namespace standin

#endif
