// One owner for everything the launcher must release exactly once: kernel
// handles, registry keys, directory listings and malloc'd texts. An owner
// releases its value when it goes out of scope or is given another, never
// throws, and is moved rather than copied, so that no path out of a function
// can leak or double-release.
//
// The traits say what "no value" is and how a value is released:
//   static T None();                // the empty value an owner starts with
//   static bool IsNone(T value);    // values that must not be released
//   static void Release(T value);
#ifndef BASE_OWNED_H
#define BASE_OWNED_H

#include <cstdint>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

template <typename T, typename Traits> class Owned {
public:
    Owned() : value_(Traits::None()) {}
    explicit Owned(T value) : value_(value) {}
    ~Owned() { reset(); }
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;
    Owned(Owned &&other) noexcept : value_(other.release()) {}
    Owned &operator=(Owned &&other) noexcept
    {
        if (this != &other) reset(other.release());
        return *this;
    }

    T get() const { return value_; }
    bool valid() const { return !Traits::IsNone(value_); }

    // Gives up the value without releasing it.
    T release()
    {
        T value = value_;
        value_ = Traits::None();
        return value;
    }

    // Releases the value held (if any) and takes `value`.
    void reset(T value = Traits::None())
    {
        if (!Traits::IsNone(value_)) Traits::Release(value_);
        value_ = value;
    }

    // For calls that store a new value through a pointer: releases the value
    // held and returns where the call may write the new one.
    T *receive()
    {
        reset();
        return &value_;
    }

private:
    T value_;
};

template <typename Char> struct TextTraits {
    static Char *None() { return nullptr; }
    static bool IsNone(Char *text) { return text == nullptr; }
    static void Release(Char *text) { free(text); }
};
// A malloc'd (MemAlloc'd, StrDup'd) text.
using OwnedText = Owned<char *, TextTraits<char>>;
// A malloc'd UTF-16 text.
using OwnedWideText = Owned<wchar_t *, TextTraits<wchar_t>>;

#ifdef _WIN32
struct HandleTraits {
    static HANDLE None() { return nullptr; }
    static bool IsNone(HANDLE handle) { return handle == nullptr || handle == INVALID_HANDLE_VALUE; }
    static void Release(HANDLE handle) { CloseHandle(handle); }
};
struct KeyTraits {
    static HKEY None() { return nullptr; }
    static bool IsNone(HKEY key) { return key == nullptr; }
    static void Release(HKEY key) { RegCloseKey(key); }
};
struct FindTraits {
    static HANDLE None() { return INVALID_HANDLE_VALUE; }
    static bool IsNone(HANDLE listing) { return listing == INVALID_HANDLE_VALUE || listing == nullptr; }
    static void Release(HANDLE listing) { FindClose(listing); }
};
struct LocalTraits {
    static void *None() { return nullptr; }
    static bool IsNone(void *memory) { return memory == nullptr; }
    static void Release(void *memory) { LocalFree(memory); }
};
// A kernel handle (CloseHandle); null and INVALID_HANDLE_VALUE hold nothing.
using OwnedHandle = Owned<HANDLE, HandleTraits>;
// An open registry key (RegCloseKey).
using OwnedKey = Owned<HKEY, KeyTraits>;
// A FindFirstFile listing (FindClose).
using OwnedFind = Owned<HANDLE, FindTraits>;
// Memory the system allocated with LocalAlloc (security descriptors).
using OwnedLocal = Owned<void *, LocalTraits>;
#endif

#endif
