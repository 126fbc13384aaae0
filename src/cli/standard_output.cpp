#include "cli/standard_output.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

#include "platform/files.h"

namespace cli {

StandardOutput::StandardOutput() : buffer_(64 * 1024) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    previous_ = std::cout.rdbuf(this);
}

StandardOutput::~StandardOutput() {
    drain();
    std::cout.rdbuf(previous_);
}

bool StandardOutput::drain() {
    const std::size_t n = static_cast<std::size_t>(pptr() - pbase());
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    if (error_ == 0 && n > 0 && !platform::writeFully(STDOUT_FILENO, buffer_.data(), n)) {
        error_ = errno != 0 ? errno : EIO;
    }
    return error_ == 0;
}

StandardOutput::int_type StandardOutput::overflow(int_type c) {
    if (!drain()) {
        return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int StandardOutput::sync() {
    return drain() ? 0 : -1;
}

std::streamsize StandardOutput::xsputn(const char* data, std::streamsize n) {
    std::streamsize done = 0;
    while (done < n) {
        if (pptr() == epptr() && !drain()) {
            return done;
        }
        const std::streamsize room = epptr() - pptr();
        const std::streamsize step = std::min(room, n - done);
        std::memcpy(pptr(), data + done, static_cast<std::size_t>(step));
        pbump(static_cast<int>(step));
        done += step;
    }
    return done;
}

int StandardOutput::finish() {
    std::cout.flush();
    drain();
    return error_;
}

}  // namespace cli
