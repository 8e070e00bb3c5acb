#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace vantor {

// Per-client state of the recovery service, keyed by a text the client chooses (its MAC text,
// its address). Any host on the link can forge as many of those as it likes, so the table
// holds at most `capacity` entries and forgets the one seen least recently to make room:
// memory stays fixed, and a client that keeps talking keeps its entry.
template <typename Value>
class RecentTable {
  public:
    struct Entry {
        std::string key;
        Value value;
    };
    struct Inserted {
        Value& value;
        std::optional<Entry> forgotten;  // the entry dropped to make room
    };

    // A capacity of 0 is taken as 1: the entry just inserted is always kept.
    explicit RecentTable(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {}

    // The value of `key`, which becomes the most recently seen; nullptr when absent.
    Value* Touch(std::string_view key) {
        const auto found = index_.find(key);
        if (found == index_.end()) {
            return nullptr;
        }
        order_.splice(order_.end(), order_, found->second);
        return &found->second->value;
    }

    // The value of `key`, its place unchanged; nullptr when absent.
    Value* Peek(std::string_view key) {
        const auto found = index_.find(key);
        return found == index_.end() ? nullptr : &found->second->value;
    }
    const Value* Peek(std::string_view key) const {
        const auto found = index_.find(key);
        return found == index_.end() ? nullptr : &found->second->value;
    }

    // Adds `key`, which must be absent, as the most recently seen.
    Inserted Insert(std::string_view key, Value value) {
        std::optional<Entry> forgotten;
        if (order_.size() >= capacity_) {
            index_.erase(order_.front().key);
            forgotten = std::move(order_.front());
            order_.pop_front();
        }
        order_.push_back(Entry{std::string(key), std::move(value)});
        const auto newest = std::prev(order_.end());
        // The index keys view the list's own strings, which stay put while their node lives.
        index_.emplace(newest->key, newest);
        return Inserted{newest->value, std::move(forgotten)};
    }

    std::size_t size() const { return order_.size(); }

  private:
    std::size_t capacity_;
    std::list<Entry> order_;  // least recently seen first
    std::unordered_map<std::string_view, typename std::list<Entry>::iterator> index_;
};

}  // namespace vantor
