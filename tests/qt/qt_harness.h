// QtHarness: the conformance suite's person at the Qt toolkit, the clerk driver acting on a
// QtClerkToolkit (real widgets, key and mouse events) as varnolde-script --toolkit qt does.
#pragma once

#include "toolkit/harness.h"
#include "toolkit/qt/qt_clerk.h"

namespace varnolde::qt_test {

// The QApplication of the test process, made on first use (on the offscreen platform unless
// the environment chose one) and ended after the last test, before Qt's own globals go.
void EnsureApplication();

struct ApplicationFirst {
  ApplicationFirst() { EnsureApplication(); }
};

class QtHarness final : private ApplicationFirst,
                        public conformance::ClerkHarness<QtClerkToolkit> {};

}  // namespace varnolde::qt_test
