// An owning interface pointer for the host: one reference, released when the
// scope ends.
#pragma once

#include <unknwn.h>

#include <utility>

template <class T>
class CInterfacePtr
{
public:
    CInterfacePtr() noexcept = default;
    explicit CInterfacePtr(T* p) noexcept : m_p(p) {}  // takes over the reference
    ~CInterfacePtr() { Reset(); }
    CInterfacePtr(const CInterfacePtr&) = delete;
    CInterfacePtr& operator=(const CInterfacePtr&) = delete;
    CInterfacePtr(CInterfacePtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    CInterfacePtr& operator=(CInterfacePtr&& other) noexcept
    {
        if (this != &other)
        {
            Reset();
            m_p = std::exchange(other.m_p, nullptr);
        }
        return *this;
    }

    T* Get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

    void** ReceiveVoid() noexcept
    {
        Reset();
        return reinterpret_cast<void**>(&m_p);
    }

    template <class U>
    HRESULT QueryInto(REFIID riid, CInterfacePtr<U>& target) const noexcept
    {
        if (m_p == nullptr)
            return E_POINTER;
        return m_p->QueryInterface(riid, target.ReceiveVoid());
    }

    void Reset() noexcept
    {
        if (T* p = std::exchange(m_p, nullptr))
            p->Release();
    }

private:
    T* m_p = nullptr;
};
