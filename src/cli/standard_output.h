#pragma once

// splicor-cli's standard output: std::cout written straight to descriptor 1 through a buffer
// that remembers why a write failed, so that a listing cut short by a full disk or a closed
// pipe ends the command with an error instead of a success.

#include <streambuf>
#include <vector>

namespace cli {

class StandardOutput : public std::streambuf {
public:
    // Takes over std::cout until destroyed.
    StandardOutput();
    ~StandardOutput() override;
    StandardOutput(const StandardOutput&) = delete;
    StandardOutput& operator=(const StandardOutput&) = delete;

    // Writes out what is buffered; the errno of the first failed write, or 0.
    int finish();

protected:
    int_type overflow(int_type c) override;
    int sync() override;
    std::streamsize xsputn(const char* data, std::streamsize n) override;

private:
    bool drain();

    std::vector<char> buffer_;
    std::streambuf* previous_ = nullptr;
    int error_ = 0;  // the first failure; nothing is written after it
};

}  // namespace cli
