// The device-setting objects over a Port's settings (DeviceControlBlock,
// CommTimeouts, DeviceQueue, CommProp) and the read-only collections that
// CommProp makes from the device's capability masks.
#include "automation/device_objects.h"

#include <cstddef>
#include <cstring>
#include <vector>

#include "automation/automation_error.h"
#include "automation/com_object.h"
#include "automation/enumerator.h"
#include "automation/port_lock.h"
#include "base/messages.h"

namespace {

VARIANT_BOOL ToVariantBool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

template <typename T>
HRESULT Answer(T* out, T value)
{
    if (!out) return E_POINTER;
    *out = value;
    return S_OK;
}

// An object over part of a Port's settings: it holds the Port while it lives.
template <typename Primary>
class DeviceSettingObject : public DispatchObject<Primary> {
protected:
    DeviceSettingObject(REFIID primary, IPort* parent) : DispatchObject<Primary>(primary), parent_(parent)
    {
        parent_->AddRef();
    }
    ~DeviceSettingObject() override { parent_->Release(); }

private:
    IPort* parent_;
};

// The DCB's flag word (fBinary to fAbortOnError) follows DCBlength and BaudRate.
constexpr size_t kFlagWordOffset = offsetof(DCB, BaudRate) + sizeof(DWORD);
static_assert(offsetof(DCB, wReserved) == kFlagWordOffset + sizeof(DWORD), "DCB flag word layout");

class DeviceControlBlockObject : public DeviceSettingObject<IDeviceControlBlock> {
public:
    DeviceControlBlockObject(IPort* parent, uint32_t portId, DCB* dcb)
        : DeviceSettingObject(IID_IDeviceControlBlock, parent), portId_(portId), dcb_(*dcb) {}

    STDMETHODIMP put_BaudRate(LONG value) override
    {
        HRESULT hr = CheckWrite();
        if (SUCCEEDED(hr)) dcb_.BaudRate = static_cast<DWORD>(value);
        return hr;
    }
    STDMETHODIMP get_BaudRate(LONG* out) override { return Answer(out, static_cast<LONG>(dcb_.BaudRate)); }

    STDMETHODIMP put_fBinary(VARIANT_BOOL v) override { return PutFlag(0, v); }
    STDMETHODIMP get_fBinary(VARIANT_BOOL* out) override { return GetFlag(0, out); }
    STDMETHODIMP put_fParity(VARIANT_BOOL v) override { return PutFlag(1, v); }
    STDMETHODIMP get_fParity(VARIANT_BOOL* out) override { return GetFlag(1, out); }
    STDMETHODIMP put_fOutxCtsFlow(VARIANT_BOOL v) override { return PutFlag(2, v); }
    STDMETHODIMP get_fOutxCtsFlow(VARIANT_BOOL* out) override { return GetFlag(2, out); }
    STDMETHODIMP put_fOutxDsrFlow(VARIANT_BOOL v) override { return PutFlag(3, v); }
    STDMETHODIMP get_fOutxDsrFlow(VARIANT_BOOL* out) override { return GetFlag(3, out); }
    STDMETHODIMP put_fDtrControl(DtrControlType v) override { return PutBits(4, v, 2, MSG_DTR_CONTROL_RANGE); }
    STDMETHODIMP get_fDtrControl(DtrControlType* out) override { return GetBits(4, out); }
    STDMETHODIMP put_fDsrSensitivity(VARIANT_BOOL v) override { return PutFlag(6, v); }
    STDMETHODIMP get_fDsrSensitivity(VARIANT_BOOL* out) override { return GetFlag(6, out); }
    STDMETHODIMP put_fTXContinueOnXoff(VARIANT_BOOL v) override { return PutFlag(7, v); }
    STDMETHODIMP get_fTXContinueOnXoff(VARIANT_BOOL* out) override { return GetFlag(7, out); }
    STDMETHODIMP put_fOutX(VARIANT_BOOL v) override { return PutFlag(8, v); }
    STDMETHODIMP get_fOutX(VARIANT_BOOL* out) override { return GetFlag(8, out); }
    STDMETHODIMP put_fInX(VARIANT_BOOL v) override { return PutFlag(9, v); }
    STDMETHODIMP get_fInX(VARIANT_BOOL* out) override { return GetFlag(9, out); }
    STDMETHODIMP put_fErrorChar(VARIANT_BOOL v) override { return PutFlag(10, v); }
    STDMETHODIMP get_fErrorChar(VARIANT_BOOL* out) override { return GetFlag(10, out); }
    STDMETHODIMP put_fNull(VARIANT_BOOL v) override { return PutFlag(11, v); }
    STDMETHODIMP get_fNull(VARIANT_BOOL* out) override { return GetFlag(11, out); }
    STDMETHODIMP put_fRtsControl(RtsControlType v) override { return PutBits(12, v, 3, MSG_RTS_CONTROL_RANGE); }
    STDMETHODIMP get_fRtsControl(RtsControlType* out) override { return GetBits(12, out); }
    STDMETHODIMP put_fAbortOnError(VARIANT_BOOL v) override { return PutFlag(14, v); }
    STDMETHODIMP get_fAbortOnError(VARIANT_BOOL* out) override { return GetFlag(14, out); }

    STDMETHODIMP put_XonLim(SHORT v) override { return Put(dcb_.XonLim, v, 0, 32767, MSG_XON_LIMIT_NEGATIVE); }
    STDMETHODIMP get_XonLim(SHORT* out) override { return Answer(out, static_cast<SHORT>(dcb_.XonLim)); }
    STDMETHODIMP put_XoffLim(SHORT v) override { return Put(dcb_.XoffLim, v, 0, 32767, MSG_XOFF_LIMIT_NEGATIVE); }
    STDMETHODIMP get_XoffLim(SHORT* out) override { return Answer(out, static_cast<SHORT>(dcb_.XoffLim)); }
    STDMETHODIMP put_ByteSize(SHORT v) override { return Put(dcb_.ByteSize, v, 4, 8, MSG_BYTE_SIZE_RANGE); }
    STDMETHODIMP get_ByteSize(SHORT* out) override { return Answer(out, static_cast<SHORT>(dcb_.ByteSize)); }
    STDMETHODIMP put_Parity(ParityType v) override { return Put(dcb_.Parity, v, 0, 4, MSG_PARITY_RANGE); }
    STDMETHODIMP get_Parity(ParityType* out) override { return Answer(out, static_cast<ParityType>(dcb_.Parity)); }
    STDMETHODIMP put_StopBits(StopBitsType v) override { return Put(dcb_.StopBits, v, 0, 2, MSG_STOP_BITS_RANGE); }
    STDMETHODIMP get_StopBits(StopBitsType* out) override
    {
        return Answer(out, static_cast<StopBitsType>(dcb_.StopBits));
    }
    STDMETHODIMP put_XonChar(SHORT v) override { return Put(dcb_.XonChar, v, 0, 255, MSG_CHAR_RANGE); }
    STDMETHODIMP get_XonChar(SHORT* out) override { return GetChar(dcb_.XonChar, out); }
    STDMETHODIMP put_XoffChar(SHORT v) override { return Put(dcb_.XoffChar, v, 0, 255, MSG_CHAR_RANGE); }
    STDMETHODIMP get_XoffChar(SHORT* out) override { return GetChar(dcb_.XoffChar, out); }
    STDMETHODIMP put_ErrorChar(SHORT v) override { return Put(dcb_.ErrorChar, v, 0, 255, MSG_CHAR_RANGE); }
    STDMETHODIMP get_ErrorChar(SHORT* out) override { return GetChar(dcb_.ErrorChar, out); }
    STDMETHODIMP put_EofChar(SHORT v) override { return Put(dcb_.EofChar, v, 0, 255, MSG_CHAR_RANGE); }
    STDMETHODIMP get_EofChar(SHORT* out) override { return GetChar(dcb_.EofChar, out); }
    STDMETHODIMP put_EvtChar(SHORT v) override { return Put(dcb_.EvtChar, v, 0, 255, MSG_CHAR_RANGE); }
    STDMETHODIMP get_EvtChar(SHORT* out) override { return GetChar(dcb_.EvtChar, out); }

private:
    // A write needs the lock free (or this Port's) and the port closed.
    HRESULT CheckWrite() const
    {
        if (PortLock::LockedByOther(portId_))
            return RaiseAutomationError(ErrorSource::DeviceControlBlock, MSG_PORT_LOCKED, 0);
        if (PortIsOpen()) return RaiseAutomationError(ErrorSource::DeviceControlBlock, MSG_CHANGE_WHILE_CONNECTED, 0);
        return S_OK;
    }
    DWORD Flags() const
    {
        DWORD flags;
        memcpy(&flags, reinterpret_cast<const char*>(&dcb_) + kFlagWordOffset, sizeof flags);
        return flags;
    }
    void SetFlags(DWORD flags) { memcpy(reinterpret_cast<char*>(&dcb_) + kFlagWordOffset, &flags, sizeof flags); }

    // `width` bits at `shift` set to `value`, when it lies in 0 to `max`.
    HRESULT PutFieldBits(int shift, DWORD width, LONG value, LONG max, MessageNumber rangeError)
    {
        HRESULT hr = CheckWrite();
        if (FAILED(hr)) return hr;
        if (value < 0 || value > max) return RaiseAutomationError(ErrorSource::DeviceControlBlock, rangeError, 0);
        DWORD mask = ((1u << width) - 1) << shift;
        SetFlags((Flags() & ~mask) | ((static_cast<DWORD>(value) << shift) & mask));
        return S_OK;
    }
    HRESULT PutFlag(int bit, VARIANT_BOOL v) { return PutFieldBits(bit, 1, v == VARIANT_TRUE, 1, MSG_PORT_LOCKED); }
    HRESULT GetFlag(int bit, VARIANT_BOOL* out) const { return Answer(out, ToVariantBool((Flags() >> bit) & 1)); }
    template <typename Enum>
    HRESULT PutBits(int shift, Enum v, LONG max, MessageNumber rangeError)
    {
        return PutFieldBits(shift, 2, static_cast<LONG>(v), max, rangeError);
    }
    template <typename Enum>
    HRESULT GetBits(int shift, Enum* out) const
    {
        return Answer(out, static_cast<Enum>((Flags() >> shift) & 3));
    }
    template <typename Field>
    HRESULT Put(Field& field, LONG value, LONG min, LONG max, MessageNumber rangeError)
    {
        HRESULT hr = CheckWrite();
        if (FAILED(hr)) return hr;
        if (value < min || value > max) return RaiseAutomationError(ErrorSource::DeviceControlBlock, rangeError, 0);
        field = static_cast<Field>(value);
        return S_OK;
    }
    static HRESULT GetChar(char c, SHORT* out) { return Answer(out, static_cast<SHORT>(static_cast<uint8_t>(c))); }

    const uint32_t portId_;
    DCB& dcb_;
};

// A write of a count or a time: negative values are refused first, then
// any change while the port is open.
HRESULT PutCount(DWORD& field, LONG value, ErrorSource source, MessageNumber negative)
{
    if (value < 0) return RaiseAutomationError(source, negative, 0);
    if (PortIsOpen()) return RaiseAutomationError(ErrorSource::DeviceControlBlock, MSG_CHANGE_WHILE_CONNECTED, 0);
    field = static_cast<DWORD>(value);
    return S_OK;
}

class CommTimeoutsObject : public DeviceSettingObject<ICommTimeouts> {
public:
    CommTimeoutsObject(IPort* parent, COMMTIMEOUTS* timeouts)
        : DeviceSettingObject(IID_ICommTimeouts, parent), t_(*timeouts) {}

    STDMETHODIMP put_ReadIntervalTimeout(LONG v) override { return Put(t_.ReadIntervalTimeout, v); }
    STDMETHODIMP get_ReadIntervalTimeout(LONG* out) override { return Get(t_.ReadIntervalTimeout, out); }
    STDMETHODIMP put_ReadTotalTimeoutMultiplier(LONG v) override { return Put(t_.ReadTotalTimeoutMultiplier, v); }
    STDMETHODIMP get_ReadTotalTimeoutMultiplier(LONG* out) override { return Get(t_.ReadTotalTimeoutMultiplier, out); }
    STDMETHODIMP put_ReadTotalTimeoutConstant(LONG v) override { return Put(t_.ReadTotalTimeoutConstant, v); }
    STDMETHODIMP get_ReadTotalTimeoutConstant(LONG* out) override { return Get(t_.ReadTotalTimeoutConstant, out); }
    STDMETHODIMP put_WriteTotalTimeoutMultiplier(LONG v) override { return Put(t_.WriteTotalTimeoutMultiplier, v); }
    STDMETHODIMP get_WriteTotalTimeoutMultiplier(LONG* out) override
    {
        return Get(t_.WriteTotalTimeoutMultiplier, out);
    }
    STDMETHODIMP put_WriteTotalTimeoutConstant(LONG v) override { return Put(t_.WriteTotalTimeoutConstant, v); }
    STDMETHODIMP get_WriteTotalTimeoutConstant(LONG* out) override { return Get(t_.WriteTotalTimeoutConstant, out); }

private:
    static HRESULT Put(DWORD& field, LONG v) { return PutCount(field, v, ErrorSource::CommTimeouts, MSG_TIMEOUT_NEGATIVE); }
    static HRESULT Get(DWORD field, LONG* out) { return Answer(out, static_cast<LONG>(field)); }

    COMMTIMEOUTS& t_;
};

// Negative sizes are reported from the CommTimeouts source, as scripts
// written for this program expect.
class DeviceQueueObject : public DeviceSettingObject<IDeviceQueue> {
public:
    DeviceQueueObject(IPort* parent, DeviceSettings* settings)
        : DeviceSettingObject(IID_IDeviceQueue, parent), s_(*settings) {}

    STDMETHODIMP put_InQueue(LONG v) override { return Put(s_.inputQueueSize, v); }
    STDMETHODIMP get_InQueue(LONG* out) override { return Answer(out, static_cast<LONG>(s_.inputQueueSize)); }
    STDMETHODIMP put_OutQueue(LONG v) override { return Put(s_.outputQueueSize, v); }
    STDMETHODIMP get_OutQueue(LONG* out) override { return Answer(out, static_cast<LONG>(s_.outputQueueSize)); }

private:
    static HRESULT Put(uint32_t& field, LONG v)
    {
        DWORD value = field;
        HRESULT hr = PutCount(value, v, ErrorSource::CommTimeouts, MSG_QUEUE_NEGATIVE);
        field = value;
        return hr;
    }

    DeviceSettings& s_;
};

// The value tables of the collections: a row's value is an item when its
// bit is set in the mask, in the order of the table.
struct MaskRow {
    LONG value;
    DWORD bit;
};
const MaskRow kBaudRows[] = {
    {75, 0x1}, {110, 0x2}, {135, 0x4}, {150, 0x8}, {300, 0x10}, {600, 0x20}, {1200, 0x40},
    {1800, 0x80}, {2400, 0x100}, {4800, 0x200}, {7200, 0x400}, {9600, 0x800}, {14400, 0x1000},
    {19200, 0x2000}, {38400, 0x4000}, {56000, 0x8000}, {57600, 0x40000}, {115200, 0x20000},
    {128000, 0x10000}, {256000, 0},
};
const MaskRow kDataBitsRows[] = {{5, 0x1}, {6, 0x2}, {7, 0x4}, {8, 0x8}, {16, 0x10}, {32, 0x20}};
const MaskRow kStopBitsRows[] = {{sb10, 0x1}, {sb15, 0x2}, {sb20, 0x4}};
const MaskRow kParityRows[] = {
    {prtNone, 0x100}, {prtOdd, 0x200}, {prtEven, 0x400}, {prtMark, 0x800}, {prtSpace, 0x1000},
};
const MaskRow kCapabilityRows[] = {
    {1, 1}, {2, 2}, {4, 4}, {8, 8}, {16, 16}, {32, 32}, {64, 64}, {128, 128}, {256, 256}, {512, 512},
};
const MaskRow kParamRows[] = {
    {spBaud, 0x2}, {spDataBits, 0x4}, {spHandShaking, 0x10}, {spParity, 0x1},
    {spParityCheck, 0x20}, {spRLSD, 0x40}, {spStopBits, 0x8},
};
constexpr LONG kUnknownMaxBaud = 9600;

template <size_t N>
std::vector<LONG> ItemsOfMask(const MaskRow (&rows)[N], DWORD mask)
{
    std::vector<LONG> items;
    for (const MaskRow& row : rows)
        if (row.bit & mask) items.push_back(row.value);
    return items;
}

// A snapshot of values; Item counts from 1.
template <typename Interface, typename Item>
class CollectionObject : public DispatchObject<Interface> {
public:
    CollectionObject(REFIID primary, std::vector<LONG> items)
        : DispatchObject<Interface>(primary), items_(std::move(items)) {}

    STDMETHODIMP get_Item(VARIANT index, Item* out) override
    {
        VARIANT position;
        VariantInit(&position);
        HRESULT hr = VariantChangeType(&position, &index, 0, VT_I4);
        if (FAILED(hr)) return hr;
        LONG i = V_I4(&position);
        if (i < 1 || static_cast<size_t>(i) > items_.size()) return DISP_E_BADINDEX;
        return Answer(out, static_cast<Item>(items_[i - 1]));
    }
    STDMETHODIMP get_Count(LONG* out) override { return Answer(out, static_cast<LONG>(items_.size())); }
    STDMETHODIMP get__NewEnum(IUnknown** out) override
    {
        if (!out) return E_POINTER;
        std::vector<VARIANT> values(items_.size());
        for (size_t i = 0; i < items_.size(); ++i) {
            VariantInit(&values[i]);
            V_VT(&values[i]) = VT_I4;
            V_I4(&values[i]) = items_[i];
        }
        *out = new (std::nothrow) Enumerator<IEnumVARIANT, VARIANT, VariantItemTraits>(IID_IEnumVARIANT, values);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

private:
    std::vector<LONG> items_;
};

template <typename Interface, typename Item, size_t N>
HRESULT CreateCollection(REFIID iid, const MaskRow (&rows)[N], DWORD mask, Interface** out)
{
    return CreateAutomationObject<CollectionObject<Interface, Item>>(iid, reinterpret_cast<void**>(out), iid,
                                                                      ItemsOfMask(rows, mask));
}

class CommPropObject : public DeviceSettingObject<ICommProp> {
public:
    CommPropObject(IPort* parent, COMMPROP* properties) : DeviceSettingObject(IID_ICommProp, parent), p_(*properties) {}

    STDMETHODIMP get_PacketLength(LONG* out) override { return Answer(out, static_cast<LONG>(p_.wPacketLength)); }
    STDMETHODIMP get_PacketVersion(LONG* out) override { return Answer(out, static_cast<LONG>(p_.wPacketVersion)); }
    STDMETHODIMP get_ServiceMask(ServiceProvider* out) override
    {
        return Answer(out, static_cast<ServiceProvider>(p_.dwServiceMask));
    }
    STDMETHODIMP get_MaxTxQueue(LONG* out) override { return Answer(out, static_cast<LONG>(p_.dwMaxTxQueue)); }
    STDMETHODIMP get_MaxRxQueue(LONG* out) override { return Answer(out, static_cast<LONG>(p_.dwMaxRxQueue)); }
    STDMETHODIMP get_MaxBaud(LONG* out) override
    {
        LONG rate = kUnknownMaxBaud;
        for (const MaskRow& row : kBaudRows)
            if (row.bit == p_.dwMaxBaud) rate = row.value;
        return Answer(out, rate);
    }
    STDMETHODIMP get_ProvSubType(ProviderSubType* out) override
    {
        return Answer(out, static_cast<ProviderSubType>(p_.dwProvSubType));
    }
    STDMETHODIMP get_ProvCapabilities(IProvCapabilityCollection** out) override
    {
        return CreateCollection<IProvCapabilityCollection, ProvCapability>(IID_IProvCapabilityCollection,
                                                                           kCapabilityRows, p_.dwProvCapabilities, out);
    }
    STDMETHODIMP get_SettableParams(ISettableParamCollection** out) override
    {
        return CreateCollection<ISettableParamCollection, SettableParam>(IID_ISettableParamCollection, kParamRows,
                                                                         p_.dwSettableParams, out);
    }
    STDMETHODIMP get_SettableBaud(ISettableBaudCollection** out) override
    {
        return CreateCollection<ISettableBaudCollection, LONG>(IID_ISettableBaudCollection, kBaudRows,
                                                               p_.dwSettableBaud, out);
    }
    STDMETHODIMP get_SettableData(ISettableDataBitsCollection** out) override
    {
        return CreateCollection<ISettableDataBitsCollection, LONG>(IID_ISettableDataBitsCollection, kDataBitsRows,
                                                                   p_.wSettableData, out);
    }
    STDMETHODIMP get_SettableStopBits(ISettableStopBitsCollection** out) override
    {
        return CreateCollection<ISettableStopBitsCollection, StopBitsType>(IID_ISettableStopBitsCollection,
                                                                           kStopBitsRows, p_.wSettableStopParity, out);
    }
    STDMETHODIMP get_SettableParity(ISettableParityCollection** out) override
    {
        return CreateCollection<ISettableParityCollection, ParityType>(IID_ISettableParityCollection, kParityRows,
                                                                       p_.wSettableStopParity, out);
    }
    STDMETHODIMP get_CurrentTxQueue(LONG* out) override { return Answer(out, static_cast<LONG>(p_.dwCurrentTxQueue)); }
    STDMETHODIMP get_CurrentRxQueue(LONG* out) override { return Answer(out, static_cast<LONG>(p_.dwCurrentRxQueue)); }

private:
    COMMPROP& p_;
};

} // namespace

HRESULT CreateDeviceControlBlock(IPort* parent, uint32_t portId, DCB* dcb, void** out)
{
    return CreateAutomationObject<DeviceControlBlockObject>(IID_IDeviceControlBlock, out, parent, portId, dcb);
}

HRESULT CreateCommTimeouts(IPort* parent, COMMTIMEOUTS* timeouts, void** out)
{
    return CreateAutomationObject<CommTimeoutsObject>(IID_ICommTimeouts, out, parent, timeouts);
}

HRESULT CreateDeviceQueue(IPort* parent, DeviceSettings* settings, void** out)
{
    return CreateAutomationObject<DeviceQueueObject>(IID_IDeviceQueue, out, parent, settings);
}

HRESULT CreateCommProp(IPort* parent, COMMPROP* properties, void** out)
{
    return CreateAutomationObject<CommPropObject>(IID_ICommProp, out, parent, properties);
}
