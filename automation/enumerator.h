// The standard enumerators (IEnumConnections, IEnumConnectionPoints,
// IEnumVARIANT) over a copy of their items, taken when the enumerator is
// made. Each item holds its own reference, as Traits say.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <new>
#include <vector>

#include "automation/com_object.h"

template <typename IEnum, typename Item, typename Traits>
class Enumerator final : public UnknownObject<IEnum> {
public:
    // `items` already hold their references; the enumerator releases them.
    Enumerator(REFIID iid, std::vector<Item> items) : iid_(iid), items_(std::move(items)) { AutomationObjectCreated(); }

    STDMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override
    {
        if (!out) return E_POINTER;
        if (count > 1 && !fetched) return E_INVALIDARG;
        ULONG n = 0;
        for (; n < count && next_ < items_.size(); ++n, ++next_) Traits::Copy(&out[n], items_[next_]);
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override
    {
        if (count > items_.size() - next_) {
            next_ = items_.size();
            return S_FALSE;
        }
        next_ += count;
        return S_OK;
    }
    STDMETHODIMP Reset() override
    {
        next_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnum** out) override
    {
        if (!out) return E_POINTER;
        std::vector<Item> copy(items_.size());
        for (size_t i = 0; i < items_.size(); ++i) Traits::Copy(&copy[i], items_[i]);
        auto* clone = new (std::nothrow) Enumerator(iid_, std::move(copy));
        if (!clone) return E_OUTOFMEMORY;
        clone->next_ = next_;
        *out = clone;
        return S_OK;
    }

private:
    ~Enumerator() override
    {
        for (Item& item : items_) Traits::Clear(item);
        AutomationObjectDestroyed();
    }
    void* FindInterface(REFIID iid) override
    {
        return iid == IID_IUnknown || iid == iid_ ? static_cast<IEnum*>(this) : nullptr;
    }

    const IID& iid_;
    std::vector<Item> items_;
    size_t next_ = 0;
};

// Items that are an interface pointer, or hold one in `pUnk`.
struct InterfaceItemTraits {
    template <typename I> static void Copy(I** to, I* from) { (*to = from)->AddRef(); }
    template <typename I> static void Clear(I*& item) { item->Release(); }
    static void Copy(CONNECTDATA* to, const CONNECTDATA& from) { (*to = from).pUnk->AddRef(); }
    static void Clear(CONNECTDATA& item) { item.pUnk->Release(); }
};

struct VariantItemTraits {
    static void Copy(VARIANT* to, const VARIANT& from)
    {
        VariantInit(to);
        VariantCopy(to, const_cast<VARIANT*>(&from));
    }
    static void Clear(VARIANT& item) { VariantClear(&item); }
};
