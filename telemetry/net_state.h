#pragma once

// True when the system reports no network at all. Without a reachability backend the
// computer counts as online, so the page is tried and fails on its own.
bool InetIsOffline();
