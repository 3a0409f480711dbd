#pragma once

// While one lives, a platform that cannot start (no display, or one that
// cannot be reached) ends the program with one line on stderr and status 1,
// where Qt would print several lines and abort with a core dump. Made just
// before the application object and dropped right after it.
class NoDisplayExit {
public:
    NoDisplayExit();
    ~NoDisplayExit();
    NoDisplayExit(const NoDisplayExit &) = delete;
    NoDisplayExit &operator=(const NoDisplayExit &) = delete;
};
