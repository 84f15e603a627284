#pragma once
// Installs a replacement for a process-wide service for the lifetime of the object and puts the
// previous one back afterwards; `Install` stores its argument and returns what it replaced.

template <class Service, Service* (*Install)(Service*)> class ScopedInstall {
  public:
    explicit ScopedInstall(Service& replacement) : previous(Install(&replacement)) {}
    ~ScopedInstall() { Install(previous); }
    ScopedInstall(const ScopedInstall&) = delete;
    ScopedInstall& operator=(const ScopedInstall&) = delete;

  private:
    Service* previous;
};
