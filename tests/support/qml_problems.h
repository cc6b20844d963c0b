#pragma once

#include <QString>

// Warnings from the interface files (type errors, failed loads, binding loops), collected
// between install() and finish() so that a window test fails on them.
namespace qmlproblems {

void install();
// Puts the previous message handler back; the warnings collected, one a line.
QString finish();

} // namespace qmlproblems
