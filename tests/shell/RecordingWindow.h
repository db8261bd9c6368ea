#pragma once

#include "shell/TrayEvents.h"

#include <QEvent>
#include <QObject>
#include <string>
#include <vector>

namespace qp::test {

// A window stand-in that notes the events it gets, with a label for each.
class RecordingWindow final : public QObject {
public:
    explicit RecordingWindow(std::vector<std::string>* log = nullptr, QObject* parent = nullptr)
        : QObject(parent), m_log(log) {}

    std::vector<int> commands;
    std::vector<int> types;

protected:
    bool event(QEvent* e) override {
        types.push_back(e->type());
        if (e->type() == CommandEvent::EventType())
            commands.push_back(static_cast<CommandEvent*>(e)->CommandId());
        if (m_log != nullptr)
            m_log->push_back("window");
        return QObject::event(e);
    }

private:
    std::vector<std::string>* m_log;
};

} // namespace qp::test
