#pragma once

// Keeps, for a test, what the toolkit's observer hooks report. Each recorder
// installs itself on construction and takes itself off when it goes; those on
// the animator and the application pass every report on to the observer they
// replaced and put it back. Header-only: the shared test support library does
// not link the toolkit.

#include "platform/ui/Application.h"
#include "platform/ui/TableView.h"

#include <memory>
#include <vector>

namespace hestio::test {

/// The animations committed on the current application's animator while it
/// lives. Declare it after the application it watches.
class AnimationLog {
public:
    AnimationLog()
        : m_animator(platform::Animator::current())
        , m_previous(m_animator.commitObserver())
    {
        m_animator.setCommitObserver([this](const platform::AnimationLogEntry& entry) {
            m_entries.push_back(entry);
            if (m_previous)
                m_previous(entry);
        });
    }
    ~AnimationLog() { m_animator.setCommitObserver(m_previous); }
    AnimationLog(const AnimationLog&) = delete;
    AnimationLog& operator=(const AnimationLog&) = delete;

    const std::vector<platform::AnimationLogEntry>& entries() const { return m_entries; }
    void clear() { m_entries.clear(); }

private:
    platform::Animator& m_animator;
    platform::Animator::CommitObserver m_previous;
    std::vector<platform::AnimationLogEntry> m_entries;
};

/// The local notifications an application presents while it lives. Declare
/// it after the application.
class LocalNotificationLog {
public:
    explicit LocalNotificationLog(platform::Application& application)
        : m_application(application)
        , m_previous(application.localNotificationObserver())
    {
        application.setLocalNotificationObserver([this](const platform::LocalNotification& notification) {
            m_entries.push_back(notification);
            if (m_previous)
                m_previous(notification);
        });
    }
    ~LocalNotificationLog() { m_application.setLocalNotificationObserver(m_previous); }
    LocalNotificationLog(const LocalNotificationLog&) = delete;
    LocalNotificationLog& operator=(const LocalNotificationLog&) = delete;

    const std::vector<platform::LocalNotification>& entries() const { return m_entries; }
    void clear() { m_entries.clear(); }

private:
    platform::Application& m_application;
    platform::Application::LocalNotificationObserver m_previous;
    std::vector<platform::LocalNotification> m_entries;
};

/// The batches of updates a table applies while it lives, one change after
/// the other. The table may go first.
class TableUpdateLog {
public:
    explicit TableUpdateLog(platform::TableView& table)
        : m_table(table.self<platform::TableView>())
    {
        table.setUpdateObserver([this](const std::vector<platform::TableView::UpdateRecord>& batch) {
            ++m_batches;
            m_records.insert(m_records.end(), batch.begin(), batch.end());
        });
    }
    ~TableUpdateLog()
    {
        if (auto table = m_table.lock())
            table->setUpdateObserver(nullptr);
    }
    TableUpdateLog(const TableUpdateLog&) = delete;
    TableUpdateLog& operator=(const TableUpdateLog&) = delete;

    const std::vector<platform::TableView::UpdateRecord>& records() const { return m_records; }
    int batches() const { return m_batches; }

private:
    std::weak_ptr<platform::TableView> m_table;
    std::vector<platform::TableView::UpdateRecord> m_records;
    int m_batches { 0 };
};

}
