#pragma once

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <memory>

namespace kestrane::test {

// Runs the built program as a user would: its own copy in a temporary program directory, a
// temporary profile (XDG_CONFIG_HOME), no display, a temporary working folder.
class ProgramTest : public testing::Test {
protected:
    ProgramTest();

    ProcessResult run(const std::vector<std::string>& arguments, const std::string& standard_input = {},
                      const std::string& working_directory = {}) const;

    const std::string& program() const { return m_program; }
    const TempDir& program_dir() const { return m_program_dir; }
    const TempDir& config() const { return m_config; }
    const TempDir& work() const { return m_work; }

    // A company key file with key bytes 00 00 followed by the 12 hex digits.
    std::string make_key_file(const std::string& name, const std::string& company, const std::string& digits) const;

    // Checks a wrapped file: tags, model, version, payload and the MD5 trailer (by openssl).
    static testing::AssertionResult wrapped_as(const std::string& path, const std::string& type,
                                               const std::string& model, const std::string& version,
                                               const Bytes* payload);

private:
    TempDir m_program_dir;
    TempDir m_config;
    TempDir m_work;
    std::string m_program;
};

Bytes key_bytes(const std::string& digits);

// A private X server (Xvfb) for tests that need a real display; stopped with the object.
class XvfbServer {
public:
    XvfbServer();
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool running() const { return m_running; }
    const std::string& display() const { return m_display; }

    // Runs an X client (xdotool, import, ...) on this display; gives up after `timeout_ms`.
    ProcessResult x(const std::string& program, const std::vector<std::string>& arguments,
                    int timeout_ms = 20000) const;
    // The id of the first window whose name matches the pattern, waiting for it to appear.
    std::string wait_for_window(const std::string& name_pattern, int timeout_ms = 20000) const;

private:
    std::unique_ptr<QProcess> m_server;
    std::string m_display;
    bool m_running = false;
};

} // namespace kestrane::test
