// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The offscreen platform plugin keeps its screen and cursor objects until
// the process ends, so LeakSanitizer reports them in every widget test. They
// are the platform's, not ours: suppress exactly those. The plugin and Qt are
// built without frame pointers, so the full unwinder is needed for the
// suppression to see where the allocation came from. Include from one
// translation unit per test executable.

extern "C" {
__attribute__((used)) inline const char* __lsan_default_suppressions()
{
    return "leak:QGuiApplicationPrivate::createPlatformIntegration\n"
           "leak:libqoffscreen.so\n";
}
__attribute__((used)) inline const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
}
