#include "radio/HamlibRig.h"

#include <QLoggingCategory>
#include <QMetaObject>

#include <hamlib/rig.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <condition_variable>
#include <cstdarg>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>

namespace radio {

Q_LOGGING_CATEGORY(lcHamlib, "tesmar.radio.hamlib")

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The library keeps its backends and its debug level in globals: whoever
// lists, creates or configures a rig takes this first. Held only around
// calls that do no I/O, so the owner's thread never waits on a radio here.
std::mutex& LibraryMutex()
{
    static std::mutex m;
    return m;
}

int SwallowDebug(enum rig_debug_level_e, rig_ptr_t, const char*, va_list) { return 0; }

// Hamlib writes its tracing to standard error unless told otherwise; the
// log is ours. Called with LibraryMutex held.
void QuietLibrary()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    rig_set_debug(RIG_DEBUG_NONE);
    rig_set_debug_callback(SwallowDebug, nullptr);
}

// Hamlib reads and writes the radios' numbers with the C library, and
// rig_open switches LC_NUMERIC to "C" and back by itself: process-wide, from
// the worker, and restoring through a name the switch has freed. With "C" in
// place from the start there is nothing to switch, and a decimal-comma
// desktop cannot garble a frequency. Tesmar's own numbers never follow the
// C locale. Called on the owner's thread before any worker runs.
void NumbersInCLocale()
{
    static const bool done = [] {
        std::setlocale(LC_NUMERIC, "C");
        return true;
    }();
    (void)done;
}

int AddModel(const struct rig_caps* caps, rig_ptr_t data)
{
    auto* models = static_cast<std::vector<HamlibModel>*>(data);
    models->push_back({static_cast<int>(caps->rig_model), caps->mfg_name ? caps->mfg_name : "",
                       caps->model_name ? caps->model_name : ""});
    return 1;  // go on
}

std::optional<rmode_t> ToHamlib(RigMode mode)
{
    switch (mode) {
    case RigMode::AM: return RIG_MODE_AM;
    case RigMode::FM: return RIG_MODE_FM;
    case RigMode::CW: return RIG_MODE_CW;
    case RigMode::LSB: return RIG_MODE_LSB;
    case RigMode::USB: return RIG_MODE_USB;
    }
    return std::nullopt;
}

// A radio's mode as the receiver hears it: data and reversed modes in their
// base modes; modes it has no demodulator for (RTTY, ...) are none.
std::optional<RigMode> FromHamlib(rmode_t mode)
{
    if (mode & (RIG_MODE_AM | RIG_MODE_AMS | RIG_MODE_SAM | RIG_MODE_SAL | RIG_MODE_SAH |
                RIG_MODE_AMN | RIG_MODE_PKTAM | RIG_MODE_DSB))
        return RigMode::AM;
    if (mode & (RIG_MODE_FM | RIG_MODE_WFM | RIG_MODE_FMN | RIG_MODE_PKTFM | RIG_MODE_PKTFMN))
        return RigMode::FM;
    if (mode & (RIG_MODE_CW | RIG_MODE_CWR | RIG_MODE_CWN))
        return RigMode::CW;
    if (mode & (RIG_MODE_LSB | RIG_MODE_PKTLSB | RIG_MODE_ECSSLSB))
        return RigMode::LSB;
    if (mode & (RIG_MODE_USB | RIG_MODE_PKTUSB | RIG_MODE_ECSSUSB))
        return RigMode::USB;
    return std::nullopt;
}

const char* ModeName(RigMode mode)
{
    static const char* const names[] = {"AM", "FM", "CW", "LSB", "USB"};
    return names[static_cast<int>(mode)];
}

enum class Outcome { Ok, Missing, Refused, Failed };

// What a call's result says about the link: a missing function is the
// model's, a refused value the request's; everything else means the radio
// (or rigctld) is not answering as it should.
Outcome Classify(int result)
{
    if (result == RIG_OK)
        return Outcome::Ok;
    switch (std::abs(result)) {
    case RIG_ENIMPL:
    case RIG_ENAVAIL: return Outcome::Missing;
    case RIG_EINVAL:
    case RIG_ERJCTED:
    case RIG_EDOM:
    case RIG_ENTARGET: return Outcome::Refused;
    default: return Outcome::Failed;
    }
}

// rigerror() appends the library's recent tracing; rigerror2() is the message alone.
QString ErrorText(int result) { return QString::fromUtf8(rigerror2(std::abs(result))).trimmed(); }

}  // namespace

const std::vector<HamlibModel>& HamlibModels()
{
    static const std::vector<HamlibModel> models = [] {
        std::vector<HamlibModel> list;
        NumbersInCLocale();
        const std::lock_guard lock(LibraryMutex());
        QuietLibrary();
        rig_load_all_backends();
        rig_list_foreach(AddModel, &list);
        std::sort(list.begin(), list.end(), [](const HamlibModel& a, const HamlibModel& b) {
            if (a.Maker != b.Maker)
                return a.Maker < b.Maker;
            if (a.Name != b.Name)
                return a.Name < b.Name;
            return a.Model < b.Model;
        });
        return list;
    }();
    return models;
}

// The worker thread and what it shares with the owner. Requests are written
// by the owner under `mutex`; everything else below it is the worker's.
struct HamlibRig::Worker {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable done;
    HamlibRig* owner = nullptr;  // null once the owner is gone: nothing more is posted
    bool stop = false;
    bool finished = false;
    bool openChanged = false;
    uint64_t generation = 0;  // of the latest Open or Close
    bool wantOpen = false;
    int model = 0;
    std::string port;
    int speed = 0;
    std::optional<int64_t> freqRequest;
    uint64_t freqRequestSeq = 0;
    std::optional<RigMode> modeRequest;
    uint64_t modeRequestSeq = 0;

    // The worker's own.
    uint64_t gen = 0;  // of the opening worked on: its reports carry it
    RIG* rig = nullptr;
    bool up = false;
    bool reported = false;  // the opening has answered or failed
    bool failureTold = false;
    int toldSeconds = 0;  // the interval the outage's notice tells
    HamlibAbilities abilities;
    bool readFailureTold = false, setFailureTold = false, modeFailureTold = false,
         modeReadFailureTold = false;
    std::optional<int64_t> owedFreq;  // asked for, not yet taken by the radio
    uint64_t freqSeq = 0;             // of the latest frequency request taken
    std::optional<RigMode> owedMode;
    uint64_t modeSeq = 0;
    std::optional<int64_t> lastFreq;  // last set or read
    std::optional<RigMode> lastMode;
    Clock::time_point nextPoll{};
    Clock::time_point nextOpen{};
    Clock::time_point openStart{};     // of the latest attempt
    Clock::duration failedOpenTime{};  // the latest failed attempt of this outage

    void Run();
    void TryOpen();
    void CloseRig();
    void ReportLink(bool nowUp);
    void LoseLink(const QString& what, int result);
    int RetrySeconds() const;
    void Poll();
    void SendFrequency();
    void SendMode();
    void TellMissing(bool& told, const QString& text);
    template <typename F>
    void Post(F&& f);
};

// f(owner) runs on the owner's thread, unless the owner has opened or closed
// since (the report is of a link that is no more); dropped once the owner is
// gone (Qt also drops what is queued for an object being destroyed).
template <typename F>
void HamlibRig::Worker::Post(F&& f)
{
    const std::lock_guard lock(mutex);
    if (owner == nullptr)
        return;
    QMetaObject::invokeMethod(
        owner,
        [o = owner, g = gen, f = std::forward<F>(f)] {
            if (g == o->generation_)
                f(o);
        },
        Qt::QueuedConnection);
}

void HamlibRig::Worker::Run()
{
    std::unique_lock lock(mutex);
    for (;;) {
        const auto pending = [this] {
            return stop || openChanged || freqRequest.has_value() || modeRequest.has_value();
        };
        if (rig != nullptr)
            wake.wait_until(lock, nextPoll, pending);
        else if (wantOpen)
            wake.wait_until(lock, nextOpen, pending);
        else
            wake.wait(lock, pending);
        if (stop)
            break;
        const bool reopen = openChanged;
        openChanged = false;
        if (reopen)
            gen = generation;
        if (freqRequest) {
            owedFreq = freqRequest;
            freqSeq = freqRequestSeq;
            freqRequest.reset();
        }
        if (modeRequest) {
            owedMode = modeRequest;
            modeSeq = modeRequestSeq;
            modeRequest.reset();
        }
        const bool open = wantOpen;
        lock.unlock();

        if (reopen) {
            CloseRig();
            // The owner has put out the lamp itself when it closed.
            up = false;
            reported = false;
            failureTold = false;
            failedOpenTime = {};
            if (!open) {
                owedFreq.reset();
                owedMode.reset();
            }
            readFailureTold = setFailureTold = modeFailureTold = modeReadFailureTold = false;
            nextOpen = Clock::now();
        }
        if (rig == nullptr && open && Clock::now() >= nextOpen)
            TryOpen();
        if (rig != nullptr && owedFreq)
            SendFrequency();
        if (rig != nullptr && owedMode)
            SendMode();
        if (rig != nullptr && Clock::now() >= nextPoll)
            Poll();

        lock.lock();
    }
    lock.unlock();
    CloseRig();
    lock.lock();
    finished = true;
    done.notify_all();
}

namespace {

void SetConf(RIG* r, const char* name, int value)
{
    rig_set_conf(r, rig_token_lookup(r, name), std::to_string(value).c_str());
}

// What the model can do, as far as its capabilities and the opened rig say.
HamlibAbilities AbilitiesOf(const RIG* r)
{
    HamlibAbilities a;
    a.ModelName = std::string(r->caps->mfg_name ? r->caps->mfg_name : "") + " " +
                  (r->caps->model_name ? r->caps->model_name : "");
    a.CanSetFrequency = r->caps->set_freq != nullptr;
    a.CanReadFrequency = r->caps->get_freq != nullptr;
    a.CanSetMode = r->caps->set_mode != nullptr;
    a.CanReadMode = r->caps->get_mode != nullptr;
    shortfreq_t finest = 0;
    for (int i = 0; i < HAMLIB_TSLSTSIZ && r->state.tuning_steps[i].ts != 0; ++i) {
        const shortfreq_t ts = r->state.tuning_steps[i].ts;
        if (ts > 0 && (finest == 0 || ts < finest))
            finest = ts;
    }
    a.Grid = finest > 0 ? finest : 1;
    return a;
}

}  // namespace

void HamlibRig::Worker::TryOpen()
{
    std::string portName;
    int modelNumber = 0, baud = 0;
    {
        const std::lock_guard lock(mutex);
        portName = port;
        modelNumber = model;
        baud = speed;
    }
    openStart = Clock::now();
    RIG* r = nullptr;
    int timeout = 0, retry = 0;  // the model's own
    {
        const std::lock_guard lock(LibraryMutex());
        QuietLibrary();
        r = rig_init(static_cast<rig_model_t>(modelNumber));
        if (r != nullptr) {
            rig_set_conf(r, rig_token_lookup(r, "rig_pathname"), portName.c_str());
            if (baud > 0)
                SetConf(r, "serial_speed", baud);
            // The library's own cache would hide a turned knob for half a second.
            rig_set_cache_timeout_ms(r, HAMLIB_CACHE_ALL, 0);
            timeout = r->state.rigport.timeout;
            retry = r->state.rigport.retry;
            const bool network = r->caps->port_type == RIG_PORT_NETWORK ||
                                 r->caps->port_type == RIG_PORT_UDP_NETWORK;
            SetConf(r, "timeout",
                    std::min(timeout, network ? kOpenNetworkTimeoutMs : kOpenSerialTimeoutMs));
            // Trying again is ours, every kReopenIntervalMs.
            SetConf(r, "retry", 0);
        }
    }
    if (r == nullptr) {
        LoseLink(QStringLiteral("Hamlib knows no radio model %1").arg(modelNumber), -RIG_EINVAL);
        return;
    }
    const int result = rig_open(r);
    if (result != RIG_OK) {
        rig_cleanup(r);
        failedOpenTime = Clock::now() - openStart;
        LoseLink(QString(), result);
        return;
    }
    SetConf(r, "timeout", timeout);
    SetConf(r, "retry", retry);
    rig = r;
    const HamlibAbilities a = AbilitiesOf(r);
    abilities = a;
    lastFreq.reset();
    lastMode.reset();
    Post([a](HamlibRig* o) { o->TakeAbilities(a); });
    const QString model = QString::fromStdString(a.ModelName);
    if (!a.CanReadFrequency)
        TellMissing(readFailureTold,
                    QStringLiteral("The radio %1 cannot tell its frequency: Tesmar tunes it but "
                                   "does not follow its dial.")
                        .arg(model));
    if (!a.CanSetFrequency)
        TellMissing(setFailureTold,
                    QStringLiteral("The radio %1 cannot be tuned from Tesmar.").arg(model));
    if (!a.CanSetMode)
        TellMissing(modeFailureTold,
                    QStringLiteral("The radio %1 cannot be set to a mode: its mode stays as set "
                                   "on the radio.")
                        .arg(model));
    nextPoll = Clock::now();
    // A model that cannot be read is taken as there once it opens; its
    // first failing call says otherwise.
    if (!a.CanReadFrequency)
        ReportLink(true);
}

void HamlibRig::Worker::CloseRig()
{
    if (rig == nullptr)
        return;
    rig_close(rig);
    rig_cleanup(rig);
    rig = nullptr;
}

// Up, or failed: told once per change, and once for an opening that fails
// at its first attempt (the owner then knows the opening has settled).
void HamlibRig::Worker::ReportLink(bool nowUp)
{
    if (reported && up == nowUp)
        return;
    reported = true;
    up = nowUp;
    if (nowUp) {
        failureTold = false;
        failedOpenTime = {};
    }
    Post([nowUp](HamlibRig* o) { o->TakeLink(nowUp); });
}

void HamlibRig::Worker::LoseLink(const QString& what, int result)
{
    CloseRig();
    // Attempts begin kReopenIntervalMs apart, and never back to back.
    nextOpen = std::max(openStart + milliseconds(kReopenIntervalMs),
                        Clock::now() + milliseconds(kReopenGapMs));
    // The reason goes out before the lamp darkens, so that whoever watches
    // the lamp finds the message already there. Told once per outage, and
    // again should the interval it tells change.
    const int seconds = RetrySeconds();
    if (!failureTold || seconds != toldSeconds) {
        failureTold = true;
        toldSeconds = seconds;
        std::string portName;
        {
            const std::lock_guard lock(mutex);
            portName = port;
        }
        const QString text =
            QStringLiteral(
                "The radio on %1 does not answer (%2). Tesmar tries again every %3 seconds.")
                .arg(QString::fromStdString(portName), what.isEmpty() ? ErrorText(result) : what)
                .arg(seconds);
        qCWarning(lcHamlib).noquote() << text;
        Post([text](HamlibRig* o) { emit o->Outage(text); });
    }
    ReportLink(false);
}

// The interval kept between attempts' starts: kReopenIntervalMs, unless an
// attempt takes longer than that allows (a slow serial model's exchanges
// each waiting their time-out).
int HamlibRig::Worker::RetrySeconds() const
{
    const auto interval = std::max<Clock::duration>(milliseconds(kReopenIntervalMs),
                                                    failedOpenTime + milliseconds(kReopenGapMs));
    return static_cast<int>((std::chrono::duration_cast<milliseconds>(interval).count() + 999) /
                            1000);
}

void HamlibRig::Worker::TellMissing(bool& told, const QString& text)
{
    if (told)
        return;
    told = true;
    qCInfo(lcHamlib).noquote() << text;
    Post([text](HamlibRig* o) { emit o->Notice(text); });
}

void HamlibRig::Worker::SendFrequency()
{
    const int64_t hz = *owedFreq;
    if (!abilities.CanSetFrequency) {
        owedFreq.reset();
        return;
    }
    const int result = rig_set_freq(rig, RIG_VFO_CURR, static_cast<freq_t>(hz));
    switch (Classify(result)) {
    case Outcome::Ok: {
        owedFreq.reset();
        lastFreq = hz;
        Post([hz](HamlibRig* o) { o->TakeSettled(hz); });
        ReportLink(true);
        break;
    }
    case Outcome::Missing:
        abilities.CanSetFrequency = false;
        owedFreq.reset();
        TellMissing(setFailureTold, QStringLiteral("The radio %1 cannot be tuned from Tesmar.")
                                        .arg(QString::fromStdString(abilities.ModelName)));
        break;
    case Outcome::Refused:
        owedFreq.reset();
        qCInfo(lcHamlib) << "the radio refuses the frequency" << hz << ":" << ErrorText(result);
        // What the radio stays on is read back and followed.
        lastFreq.reset();
        break;
    case Outcome::Failed: LoseLink(QString(), result); break;
    }
}

void HamlibRig::Worker::SendMode()
{
    const RigMode mode = *owedMode;
    if (!abilities.CanSetMode || (lastMode && *lastMode == mode)) {
        owedMode.reset();
        return;
    }
    const int result = rig_set_mode(rig, RIG_VFO_CURR, *ToHamlib(mode), RIG_PASSBAND_NOCHANGE);
    switch (Classify(result)) {
    case Outcome::Ok:
        owedMode.reset();
        lastMode = mode;
        break;
    case Outcome::Missing:
        abilities.CanSetMode = false;
        owedMode.reset();
        TellMissing(modeFailureTold,
                    QStringLiteral("The radio %1 cannot be set to a mode: its mode stays as set "
                                   "on the radio.")
                        .arg(QString::fromStdString(abilities.ModelName)));
        break;
    case Outcome::Refused:
        owedMode.reset();
        qCInfo(lcHamlib) << "the radio refuses the mode" << ModeName(mode) << ":"
                         << ErrorText(result);
        lastMode.reset();
        break;
    case Outcome::Failed: LoseLink(QString(), result); break;
    }
}

void HamlibRig::Worker::Poll()
{
    const Clock::time_point start = Clock::now();
    if (abilities.CanReadFrequency) {
        freq_t f = 0;
        const int result = rig_get_freq(rig, RIG_VFO_CURR, &f);
        switch (Classify(result)) {
        case Outcome::Ok: {
            const auto hz = static_cast<int64_t>(f + 0.5);
            ReportLink(true);
            if (!lastFreq || *lastFreq != hz) {
                lastFreq = hz;
                const uint64_t seq = freqSeq;
                Post([hz, seq](HamlibRig* o) { o->TakeFrequency(hz, seq); });
            }
            break;
        }
        case Outcome::Missing:
        case Outcome::Refused:
            abilities.CanReadFrequency = false;
            TellMissing(readFailureTold,
                        QStringLiteral("The radio %1 cannot tell its frequency: Tesmar tunes it "
                                       "but does not follow its dial.")
                            .arg(QString::fromStdString(abilities.ModelName)));
            break;
        case Outcome::Failed: LoseLink(QString(), result); return;
        }
    }
    if (abilities.CanReadMode && rig != nullptr) {
        rmode_t m = RIG_MODE_NONE;
        pbwidth_t width = 0;
        const int result = rig_get_mode(rig, RIG_VFO_CURR, &m, &width);
        switch (Classify(result)) {
        case Outcome::Ok:
            if (const std::optional<RigMode> mode = FromHamlib(m);
                mode && (!lastMode || *lastMode != *mode)) {
                lastMode = mode;
                const uint64_t seq = modeSeq;
                Post([mode = *mode, seq](HamlibRig* o) { o->TakeMode(mode, seq); });
            }
            break;
        case Outcome::Missing:
        case Outcome::Refused:
            // Reading the mode is a convenience: not worth a message.
            abilities.CanReadMode = false;
            qCInfo(lcHamlib) << "the radio cannot tell its mode:" << ErrorText(result);
            break;
        case Outcome::Failed: LoseLink(QString(), result); return;
        }
    }
    const Clock::time_point end = Clock::now();
    nextPoll = std::max(start + milliseconds(kPollIntervalMs), end + milliseconds(kPollGapMs));
}

HamlibRig::HamlibRig(QObject* parent)
    : QObject(parent)
    , worker_(std::make_shared<Worker>())
{
    NumbersInCLocale();
    qRegisterMetaType<radio::RigMode>();
    worker_->owner = this;
    std::thread([w = worker_] { w->Run(); }).detach();
}

HamlibRig::~HamlibRig()
{
    std::unique_lock lock(worker_->mutex);
    worker_->stop = true;
    worker_->owner = nullptr;
    worker_->wake.notify_all();
    // A responsive radio closes within milliseconds; a silent one may hold
    // the worker in a call until the model's time-out, and the program's end
    // does not wait for that: the worker keeps its own share of the state.
    worker_->done.wait_for(lock, std::chrono::milliseconds(kCloseWaitMs),
                           [this] { return worker_->finished; });
}

void HamlibRig::Open(int model, const std::string& port, int speed)
{
    {
        const std::lock_guard lock(worker_->mutex);
        worker_->model = model;
        worker_->port = port;
        worker_->speed = speed;
    }
    Begin(true);
}

void HamlibRig::Close() { Begin(false); }

void HamlibRig::Begin(bool open)
{
    {
        const std::lock_guard lock(worker_->mutex);
        worker_->wantOpen = open;
        worker_->openChanged = true;
        worker_->generation = ++generation_;
        if (!open) {
            worker_->freqRequest.reset();
            worker_->modeRequest.reset();
        }
    }
    worker_->wake.notify_all();
    open_ = open;
    settled_ = !open;
    abilities_ = {};
    // Whatever the last link was, this one has yet to answer.
    ShowLink(false);
}

void HamlibRig::SetFrequency(int64_t hz)
{
    {
        const std::lock_guard lock(worker_->mutex);
        worker_->freqRequest = hz;
        worker_->freqRequestSeq = ++freqSeq_;
    }
    worker_->wake.notify_all();
}

void HamlibRig::SetMode(RigMode mode)
{
    {
        const std::lock_guard lock(worker_->mutex);
        worker_->modeRequest = mode;
        worker_->modeRequestSeq = ++modeSeq_;
    }
    worker_->wake.notify_all();
}

// The Take functions hear only the current generation's reports (Post).
void HamlibRig::TakeLink(bool up)
{
    settled_ = true;
    ShowLink(up);
}

void HamlibRig::ShowLink(bool up)
{
    if (linkUp_ == up)
        return;
    linkUp_ = up;
    emit LinkChanged(up);
}

void HamlibRig::TakeAbilities(const HamlibAbilities& abilities)
{
    abilities_ = abilities;
    emit Opened();
}

void HamlibRig::TakeFrequency(int64_t hz, uint64_t seq)
{
    // Read before the worker took the latest request: stale.
    if (seq != freqSeq_)
        return;
    emit FrequencyRead(hz);
}

void HamlibRig::TakeSettled(int64_t hz) { emit FrequencySettled(hz); }

void HamlibRig::TakeMode(RigMode mode, uint64_t seq)
{
    if (seq != modeSeq_)
        return;
    emit ModeRead(mode);
}

}  // namespace radio
