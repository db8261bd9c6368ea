#include "tests/support/TestSupport.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace qp::test {

Clock::TimePoint FakeClock::Now() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_now;
}

void FakeClock::SleepMs(int milliseconds) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sleeps.push_back(milliseconds);
    m_now += std::chrono::milliseconds(milliseconds);
}

void FakeClock::Advance(std::chrono::milliseconds by) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_now += by;
}

std::vector<int> FakeClock::Sleeps() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sleeps;
}

MessageAnswer RecordingMessageSink::Show(const MessageRequest& request) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messages.push_back(request);
    if (!m_answers.empty()) {
        MessageAnswer answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    return request.buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
}

void RecordingMessageSink::SetNextAnswer(MessageAnswer answer) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answers.push_back(answer);
}

std::vector<MessageRequest> RecordingMessageSink::Messages() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages;
}

std::vector<std::string> RecordingMessageSink::Texts() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> texts;
    for (const MessageRequest& m : m_messages)
        texts.push_back(m.text);
    return texts;
}

void RecordingMessageSink::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messages.clear();
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qp-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value)
    : m_name(std::move(name)) {
    if (const char* old = std::getenv(m_name.c_str()))
        m_old = old;
    if (value)
        ::setenv(m_name.c_str(), value->c_str(), 1);
    else
        ::unsetenv(m_name.c_str());
}

ScopedEnv::~ScopedEnv() {
    if (m_old)
        ::setenv(m_name.c_str(), m_old->c_str(), 1);
    else
        ::unsetenv(m_name.c_str());
}

void WaitUntilStopped(std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any stopped;
    std::unique_lock<std::mutex> lock(mutex);
    stopped.wait(lock, stop, [] { return false; });
}

void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace qp::test
