#include "shell/NotificationCenter.h"

NotificationCenter& NotificationCenter::Default() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::AddObserver(std::string name, Observer observer) {
    std::lock_guard lock(mutex);
    Token token = nextToken++;
    entries.push_back({token, std::move(name), std::move(observer)});
    return token;
}

void NotificationCenter::RemoveObserver(Token token) {
    std::lock_guard lock(mutex);
    std::erase_if(entries, [token](const Entry& e) { return e.token == token; });
}

void NotificationCenter::Post(const std::string& name, const std::any& object) {
    // Copy the matching observers first so an observer may subscribe or unsubscribe while
    // being called without deadlocking.
    std::vector<Observer> matching;
    {
        std::lock_guard lock(mutex);
        for (const auto& e : entries)
            if (e.name == name) matching.push_back(e.observer);
    }
    for (const auto& observer : matching)
        observer(name, object);
}
