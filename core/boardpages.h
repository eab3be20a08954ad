#pragma once

#include <QString>

// What the board's pages and its file list share.
namespace Ordavex {

// A saved heat whose published page would be the list page "heats/index.html" itself:
// the list links to its JSON instead.
bool IsListPageName(const QString &name);

} // namespace Ordavex
