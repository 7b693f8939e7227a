#pragma once

// The settings dialog apart from its window: the device, port and radio type
// lists it offers, the choices it shows, the controls that act at once (the
// two gains, "Invert IQ signal" and the input corrections), and "OK".

#include "core/Receiver.h"
#include "core/RemoteControl.h"
#include "core/UdpAudio.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

namespace core {

// A serial port as the system lists it.
struct SerialPortEntry {
    std::string name;         // "ttyUSB0"
    std::string description;  // "FT232R USB UART", or empty
    std::string location;     // "/dev/ttyUSB0"
};

// Every serial port the system lists, in its order.
std::vector<SerialPortEntry> SystemSerialPorts();

// The port list as the dialog offers it, and the stored choice brought up to
// date.
struct PortList {
    QStringList texts;               // "ttyUSB0 - FT232R USB UART"
    std::vector<std::string> ports;  // what PortStr holds for each entry
    int selected = -1;               // -1: nothing to select
    int32_t PortNum = 0;
    std::string PortStr;
    int absent = -1;  // the entry of a stored port that is not there, or -1
};

// A position does not identify a USB adapter that enumerates in another
// order, and radio commands sent to the wrong device are unsafe: a stored
// PortStr that names a listed port (by name or by path) selects that entry
// and PortNum follows it. A stored port that is no listed one is offered as
// one more entry and kept: a /dev/serial/by-id link or a pseudo-terminal as
// it is, when `storedPresent` says its device is there, otherwise marked
// "(not present)" (an adapter unplugged while the program was not running,
// which is waited for; the port now at its position is someone else's).
// Only an empty PortStr has PortNum select by position, and PortStr becomes
// that entry's port (empty when PortNum lies outside the list).
PortList ListPorts(const std::vector<SerialPortEntry>& ports, const std::string& PortStr,
                   int32_t PortNum, bool storedPresent);

// Whether a port's device is there, listed or not: "ttyUSB0" is looked for
// in /dev, a path where it leads.
bool PortDevicePresent(const std::string& PortStr);

// A device list: the default device first, then the devices, so that entry n
// is device number n. A stored number beyond the devices present is kept in
// step by entries that say so, instead of selecting nothing or another device.
QStringList DeviceEntries(const QString& defaultEntry, const QStringList& devices, int32_t chosen);

// The desktop's recording level control, when one is installed.
struct LevelControl {
    QString program;  // empty: none found
    QStringList arguments;
};
LevelControl FindRecordingLevelControl();

class SettingsChoices {
public:
    // What the dialog's creation does: lists the devices, ports and radio
    // types, shows the stored choices (PortNum and PortStr brought up to
    // date as ListPorts says) and what remote control runs, opens the chosen
    // port and, when it opened, runs the radio's set-up sequence; a stored
    // port that is not there is waited for (Receiver::AwaitRadioPort).
    SettingsChoices(Receiver& receiver, RemoteControl& remote,
                    const std::vector<SerialPortEntry>& ports = SystemSerialPorts());

    const QStringList& InputEntries() const { return inputEntries_; }
    const QStringList& OutputEntries() const { return outputEntries_; }
    // The lost sound devices are back: the lists take the devices found
    // then (made while a server was away, they held the defaults alone).
    // The choices stay.
    void TakeRecoveredDevices();
    const QStringList& PortEntries() const { return ports_.texts; }
    static QStringList RadioTypeEntries();

    // The choices the dialog shows. Those below take effect with "OK"; the
    // dialog shows them as the operator left them, "Cancel" or not.
    int Input() const { return input_; }
    int Output() const { return output_; }
    int Port() const { return port_; }
    int RadioType() const { return radioType_; }
    bool MostTop() const { return mostTop_; }
    void ChooseInput(int entry) { input_ = entry; }
    void ChooseOutput(int entry) { output_ = entry; }
    void ChoosePort(int entry) { port_ = entry; }
    void ChooseMostTop(bool on) { mostTop_ = on; }
    // The operator picks a radio type: "Invert IQ signal" follows the type
    // at once. Returns the box's new state.
    bool ChooseRadioType(int type);

    // The remote control row: on or off, the port, the addresses besides
    // this computer that may connect. Shown as they run; applied with "OK".
    bool RemoteOn() const { return remote_.on; }
    int RemotePort() const { return remote_.port; }
    QString RemoteAllow() const { return QString::fromStdString(remote_.allow); }
    void ChooseRemoteOn(bool on) { remote_.on = on; }
    void ChooseRemotePort(int port) { remote_.port = port; }
    void ChooseRemoteAllow(const QString& text) { remote_.allow = text.trimmed().toStdString(); }

    // The audio over UDP row: on or off, the host and the port; and its
    // status line, what is sent where or what goes wrong (empty while off).
    bool UdpOn() const { return udp_.on; }
    QString UdpHost() const { return QString::fromStdString(udp_.host); }
    int UdpPort() const { return udp_.port; }
    void ChooseUdpOn(bool on) { udp_.on = on; }
    void ChooseUdpHost(const QString& text) { udp_.host = text.trimmed().toStdString(); }
    void ChooseUdpPort(int port) { udp_.port = port; }
    QString UdpStatus() const;
    // The Hamlib area, shown while the "Hamlib" type is chosen: the model,
    // its port (a device path or host:port of a rigctld), the serial speed
    // (0: the model's default) and the two offsets in Hz. Applied with "OK"
    // and from then on kept in the settings file.
    bool HamlibAreaShown() const;
    // "Kenwood TS-480 (2028)": every model the installed library lists, by
    // maker, then name.
    static QStringList HamlibModelEntries();
    // The chosen model's entry; -1 for a number the library does not list.
    int HamlibModelEntry() const;
    void ChooseHamlibModelEntry(int entry);
    // The entry a text typed into the model box stands for: the entry
    // itself, or the first whose maker and name hold every word typed, any
    // case ("ts-480", "kenwood 480"); -1 when none does.
    static int FindHamlibModel(const QString& text);
    // The port box's entries: the serial devices as paths, then the local
    // rigctld's usual address.
    const QStringList& HamlibPortEntries() const { return hamlibPorts_; }
    QString HamlibPort() const { return QString::fromStdString(hamlib_.Port); }
    void ChooseHamlibPort(const QString& text) { hamlib_.Port = text.trimmed().toStdString(); }
    // The speed box's entries, index 0 being the model's default.
    static const std::vector<int32_t>& HamlibSpeeds();
    static QStringList HamlibSpeedEntries();
    int HamlibSpeedEntry() const;
    void ChooseHamlibSpeedEntry(int entry);
    int32_t HamlibIqOffset() const { return hamlib_.IqOffset; }
    int32_t HamlibTransverterOffset() const { return hamlib_.TransverterOffset; }
    void ChooseHamlibIqOffset(int32_t hz) { hamlib_.IqOffset = hz; }
    void ChooseHamlibTransverterOffset(int32_t hz) { hamlib_.TransverterOffset = hz; }

    // What keeps "OK" from closing the dialog: allowed addresses that cannot
    // be read, audio over UDP on without a host, or a Hamlib port that is this receiver's own remote control
    // (Tesmar would follow itself). Empty when there is nothing.
    QString Problem() const;

    // These act at once, before "OK" or "Cancel".
    int InputGainPos() const;
    int WaterGainPos() const;
    bool InvertIq() const;
    void SetInputGainPos(int pos);
    void SetWaterGainPos(int pos);
    void SetInvertIq(bool on);
    // What a gain track bar at `pos` gives, as its value label shows it:
    // "-10dB", "0dB", "+2.25dB" (the waterfall's steps are a quarter dB).
    static QString InputGainText(int pos);
    static QString WaterGainText(int pos);

    // The input corrections' row acts at once too: the manual balance is
    // found by watching the image fall on the spectrum window while the
    // amplitude and phase change, and the measured image rejection follows
    // the balance chosen; so "Cancel" keeps them, as it keeps the gains. The
    // first change has them written to the settings file from then on.
    // The IQ balance's entries ("Off", "Automatic", "Manual": IQCorr's codes),
    // the DC removal, and the manual balance's amplitude (dB) and phase
    // (degrees), I over Q, in the steps IQCorrGain and IQCorrPhase keep.
    static QStringList IqBalanceEntries();
    int IqBalance() const;
    bool DcRemoval() const;
    double IqGainDb() const;
    double IqPhaseDeg() const;
    bool ManualBalance() const { return IqBalance() == 2; }
    void SetIqBalance(int entry);
    void SetDcRemoval(bool on);
    void SetIqGainDb(double dB);
    void SetIqPhaseDeg(double degrees);
    // "Image rejection 72.4 dB" (a point in any locale) while the automatic
    // balance runs, what it says before a station has been measured, empty
    // while it does not run.
    QString ImageRejectionText() const;

    // "OK", in order: other devices restart both (asynchronously, with the
    // notice); another port or radio type closes the port, opens the chosen
    // one with the chosen type and runs the set-up sequence whether or not
    // it opened; alwaysOnTop takes the box's state; a changed remote control
    // row is applied and kept for the settings file, and so is a changed
    // audio over UDP row. The window then applies
    // alwaysOnTop and closes. Only when Problem() is empty.
    struct Applied {
        bool devicesRestarted = false;
        bool radioRestarted = false;
        bool remoteChanged = false;
        bool hamlibChanged = false;
        bool udpChanged = false;
    };
    Applied Confirm();

    // "Volume control of Windows".
    bool LevelControlAvailable() const { return !levelControl_.program.isEmpty(); }
    bool OpenLevelControl() const;

private:
    Receiver& receiver_;
    RemoteControl& remoteControl_;
    QStringList inputEntries_;
    QStringList outputEntries_;
    PortList ports_;
    LevelControl levelControl_;
    int committedPort_ = -1;
    RemoteSettings remote_;
    RemoteSettings committedRemote_;
    UdpAudioSettings udp_;
    UdpAudioSettings committedUdp_;
    Receiver::HamlibSettings hamlib_;
    QStringList hamlibPorts_;

    int input_ = 0;
    int output_ = 0;
    int port_ = -1;
    int radioType_ = 0;
    bool mostTop_ = false;
};

}  // namespace core
