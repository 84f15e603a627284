#pragma once
// A synchronous notification centre: observers are called on the posting thread, in the order
// in which they subscribed. Observers may be added and removed from any thread.

#include <any>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

inline constexpr const char* kSweepGeneratorProgressNotification =
    "SweepGeneratorProgressNotification";

class NotificationCenter {
  public:
    using Observer = std::function<void(const std::string& name, const std::any& object)>;
    using Token = std::uint64_t;

    // The process-wide centre.
    static NotificationCenter& Default();

    // Subscribes `observer` to notifications called `name`, from any sender.
    Token AddObserver(std::string name, Observer observer);
    void RemoveObserver(Token token);

    // Calls every observer of `name` synchronously, on this thread.
    void Post(const std::string& name, const std::any& object = {});

  private:
    struct Entry {
        Token token;
        std::string name;
        Observer observer;
    };
    std::mutex mutex;
    std::vector<Entry> entries;
    Token nextToken = 1;
};

// Subscribes for the lifetime of the object.
class ScopedObserver {
  public:
    ScopedObserver(std::string name, NotificationCenter::Observer observer,
                   NotificationCenter& center = NotificationCenter::Default())
        : center(center), token(center.AddObserver(std::move(name), std::move(observer))) {}
    ~ScopedObserver() { center.RemoveObserver(token); }
    ScopedObserver(const ScopedObserver&) = delete;
    ScopedObserver& operator=(const ScopedObserver&) = delete;

  private:
    NotificationCenter& center;
    NotificationCenter::Token token;
};
