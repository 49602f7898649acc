#pragma once

#include "platform/ui/Application.h"
#include "platform/ui/TouchSynthesizer.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "support/TestRunLoop.h"

#include <memory>
#include <string>
#include <vector>

namespace hestio::test {

/// A manual-clock run loop, an application and a visible key window: what
/// every toolkit test starts from. Fingers advance the clock as they move.
struct UiFixture {
    TestRunLoop loop;
    platform::Application app;
    std::shared_ptr<platform::Window> window { platform::Window::create() };
    platform::TouchSynthesizer fingers { app, [this](double s) { loop.advance(s); } };

    UiFixture() { window->makeKeyAndVisible(); }
    /// Lets every running animation and delayed call finish.
    void settle() { loop.advance(2.0); }
};

/// A screen that writes its life-cycle calls into a shared journal.
class JournalingController : public platform::ViewController {
public:
    JournalingController(std::string name, std::vector<std::string>& journal)
        : m_name(std::move(name))
        , m_journal(journal)
    {
    }
    void viewDidLoad() override { note("viewDidLoad"); }
    void viewWillAppear(bool) override { note("viewWillAppear"); }
    void viewDidAppear(bool) override { note("viewDidAppear"); }
    void viewWillDisappear(bool) override { note("viewWillDisappear"); }
    void viewDidDisappear(bool) override { note("viewDidDisappear"); }
    void viewDidUnload() override { note("viewDidUnload"); }

private:
    void note(const std::string& what) { m_journal.push_back(m_name + "." + what); }
    std::string m_name;
    std::vector<std::string>& m_journal;
};

}
