#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <utility>

namespace quillmere {

// What a dialog seam keeps for tests: answers queued ahead, so no dialog is shown, and an
// observer that sees every request as it comes. GUI thread only.
template <typename TRequest, typename TAnswer>
class CQueuedAnswers {
 public:
  // Reports the request to the observer, then takes the next queued answer, if any.
  std::optional<TAnswer> Take(const TRequest& request) {
    if (m_observer) m_observer(request);
    if (m_arrAnswers.empty()) return std::nullopt;
    std::optional<TAnswer> answer(std::move(m_arrAnswers.front()));
    m_arrAnswers.pop_front();
    return answer;
  }

  void Queue(TAnswer answer) { m_arrAnswers.push_back(std::move(answer)); }
  void SetObserver(std::function<void(const TRequest&)> observer) { m_observer = std::move(observer); }
  void Reset() {
    m_arrAnswers.clear();
    m_observer = nullptr;
  }

 private:
  std::deque<TAnswer> m_arrAnswers;
  std::function<void(const TRequest&)> m_observer;
};

}  // namespace quillmere
