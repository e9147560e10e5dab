#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/base/program_name.h"
#include "session/launch/session_observer.h"
#include "ui/end_words/end_words.h"

namespace dovrel::test {

// Stands in for the front end: records what the worker tells it, the box of
// its end as if shown and dismissed, and the end's line after the report's.
class RecordingObserver final : public SessionObserver {
 public:
  void Finished(const SessionEnd& end) override {
    const auto box = BoxOf(end);
    if (box && m_onMessage) m_onMessage();
    const std::lock_guard lock(m_mutex);
    if (box) {
      m_messages.push_back(*box);
      m_texts.push_back(*box == EndBox::kLaunchFailed ? DescribeLaunchProblem(end) : std::string());
    }
    if (const auto line = FailureLine(end)) m_reports.push_back(std::string(kReportPrefix) + *line);
    ++m_closeRequests;
  }
  // Runs on the worker thread as a box is handed over; set before it starts.
  void OnMessage(std::function<void()> action) { m_onMessage = std::move(action); }
  // The user's side of a question, on the worker thread; without one, no.
  using Answerer = std::function<void(const UserQuestion&, const std::shared_ptr<AnswerSlot>&)>;
  void OnAsk(Answerer answerer) { m_onAsk = std::move(answerer); }
  void Ask(const UserQuestion& question, const std::shared_ptr<AnswerSlot>& slot) override {
    {
      const std::lock_guard lock(m_mutex);
      m_questions.push_back(question);
    }
    if (m_onAsk) {
      m_onAsk(question, slot);
    } else {
      slot->Give(false);
    }
  }
  std::vector<UserQuestion> Questions() const {
    const std::lock_guard lock(m_mutex);
    return m_questions;
  }
  void PhaseChanged(SessionPhase phase) override {
    const std::lock_guard lock(m_mutex);
    m_phases.push_back(phase);
  }
  void Report(const std::string& line) override {
    const std::lock_guard lock(m_mutex);
    m_reports.push_back(line);
  }
  std::vector<EndBox> Messages() const {
    const std::lock_guard lock(m_mutex);
    return m_messages;
  }
  std::vector<std::string> MessageTexts() const {
    const std::lock_guard lock(m_mutex);
    return m_texts;
  }
  std::vector<SessionPhase> Phases() const {
    const std::lock_guard lock(m_mutex);
    return m_phases;
  }
  // Everything reported for standard error, one line each.
  std::string Reports() const {
    const std::lock_guard lock(m_mutex);
    std::string all;
    for (const std::string& line : m_reports) all += line + "\n";
    return all;
  }
  int CloseRequests() const {
    const std::lock_guard lock(m_mutex);
    return m_closeRequests;
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<EndBox> m_messages;
  std::vector<std::string> m_texts;
  std::vector<SessionPhase> m_phases;
  std::vector<std::string> m_reports;
  int m_closeRequests = 0;
  std::function<void()> m_onMessage;
  Answerer m_onAsk;
  std::vector<UserQuestion> m_questions;
};

}  // namespace dovrel::test
