// Scoped holders of GDI handles: a GDI object, a memory DC that puts back
// what was selected into it, and a window DC.
#pragma once
#include <windows.h>

// Owns one GDI object (brush, pen, font, bitmap, region) and deletes it when
// replaced or destroyed. Reads as the handle.
template <class H>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(H h) : h_(h) {}
    ~GdiObject() { Reset(); }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    GdiObject(GdiObject&& o) noexcept : h_(o.Detach()) {}
    GdiObject& operator=(GdiObject&& o) noexcept {
        if (this != &o) Reset(o.Detach());
        return *this;
    }
    // Takes ownership of h; the object held before is deleted.
    GdiObject& operator=(H h) {
        Reset(h);
        return *this;
    }

    operator H() const { return h_; }
    H Get() const { return h_; }
    void Reset(H h = nullptr) {
        H old = h_;
        h_ = h;
        if (old && old != h) ::DeleteObject(old);
    }
    // Gives up ownership without deleting.
    H Detach() {
        H h = h_;
        h_ = nullptr;
        return h;
    }

private:
    H h_ = nullptr;
};

// A memory DC. Select remembers the DC's own object of each kind (bitmap,
// brush, pen, font) the first time that kind is selected; those are put back
// before DeleteDC, so that nothing selected through the DC's life stays
// selected in a deleted DC.
class MemoryDc {
public:
    MemoryDc() = default;
    explicit MemoryDc(HDC compatible) : dc_(CreateCompatibleDC(compatible)) {}
    ~MemoryDc() { Reset(); }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    MemoryDc(MemoryDc&& o) noexcept { Take(o); }
    MemoryDc& operator=(MemoryDc&& o) noexcept {
        if (this != &o) {
            Reset();
            Take(o);
        }
        return *this;
    }

    operator HDC() const { return dc_; }
    HDC Get() const { return dc_; }

    // Selects object; returns the object it replaced.
    HGDIOBJ Select(HGDIOBJ object) {
        HGDIOBJ old = SelectObject(dc_, object);
        int k = Kind(object);
        if (old && k >= 0 && !own_[k]) own_[k] = old;
        return old;
    }
    // Puts next in held's place. When held is selected, next is selected
    // first: a selected object cannot be deleted.
    template <class H>
    void Replace(GdiObject<H>& held, H next) {
        if (dc_ && held && GetCurrentObject(dc_, GetObjectType(held)) == held) Select(next);
        held.Reset(next);
    }
    void Reset() {
        if (!dc_) return;
        for (HGDIOBJ& o : own_) {
            if (o) SelectObject(dc_, o);
            o = nullptr;
        }
        DeleteDC(dc_);
        dc_ = nullptr;
    }

private:
    static constexpr int Kinds = 4;
    static int Kind(HGDIOBJ object) {
        switch (GetObjectType(object)) {
        case OBJ_BITMAP: return 0;
        case OBJ_BRUSH: return 1;
        case OBJ_PEN:
        case OBJ_EXTPEN: return 2;
        case OBJ_FONT: return 3;
        default: return -1;
        }
    }
    void Take(MemoryDc& o) {
        dc_ = o.dc_;
        o.dc_ = nullptr;
        for (int k = 0; k < Kinds; ++k) {
            own_[k] = o.own_[k];
            o.own_[k] = nullptr;
        }
    }

    HDC dc_ = nullptr;
    HGDIOBJ own_[Kinds] = {};
};

// The DC of a window (GetDC), released when the holder goes.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    operator HDC() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};
