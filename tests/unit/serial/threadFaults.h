// A thread starter for the receive paths' tests: the call numbered failAt
// (1 = the first) throws std::system_error as std::thread does when the
// system cannot create a thread; the others create the thread.
#pragma once
#include <system_error>
#include <thread>
#include <utility>

#include "serial/comPort.h"

inline ThreadStarter threadStarterFailingAt(int failAt, int* calls)
{
    return [failAt, calls](std::function<void()> body) {
        if (++*calls == failAt)
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        return std::thread(std::move(body));
    };
}
