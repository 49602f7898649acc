#include "devices/HomeNowSection.h"

#include "devices/NowFigureCell.h"
#include "devices/NowTexts.h"
#include "model/QuantityText.h"
#include "model/ShownName.h"
#include "net/Endpoints.h"
#include "net/ServiceEnvironment.h"
#include "platform/foundation/Calendar.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Label.h"
#include "platform/ui/LargerText.h"
#include "session/CachedList.h"

#include <cstdio>

namespace hestio {

using namespace platform;

namespace {

    bool signedIn()
    {
        const auto& currentToken = ServiceEnvironment::shared().currentToken;
        return currentToken && currentToken().has_value();
    }

    std::string millisecondsText(Date date)
    {
        char text[64];
        std::snprintf(text, sizeof text, "%.0f", date.millisecondsSince1970());
        return text;
    }

    constexpr const char* kLoading = "Loading…";
    constexpr const char* kFigureIdentifier = "NowFigureCell";
    constexpr const char* kDeviceIdentifier = "NowDeviceCell";

}

std::shared_ptr<HomeNowSection> HomeNowSection::create(std::shared_ptr<Session> session)
{
    return std::make_shared<HomeNowSection>(std::move(session));
}

HomeNowSection::HomeNowSection(std::shared_ptr<Session> session)
    : m_session(std::move(session))
{
}

HomeNowSection::~HomeNowSection()
{
    m_timer.cancel();
}

Date HomeNowSection::now() const
{
    return RunLoop::current().clock().now();
}

std::optional<Tariff> HomeNowSection::loadTariff() const
{
    auto user = m_session->curUser();
    if (!user)
        return std::nullopt;
    return Tariff::load(UserDefaults::standard(), user->username);
}

void HomeNowSection::start()
{
    stop();
    // The tariff may have been set or changed while the tab was away (the
    // account screen is pushed over it).
    auto tariff = loadTariff();
    if (tariff != m_tariff) {
        m_tariff = std::move(tariff);
        m_currencyFormatter.reset();
        if (m_energy.blocks)
            m_energy.figure = EnergyToday::of(*m_energy.blocks, m_energy.at, m_session->householdTimeZone(), m_tariff);
        changed();
    }
    m_energyAskedAt.reset();
    refresh();
    std::weak_ptr<HomeNowSection> weak = shared_from_this();
    m_timer = RunLoop::current().scheduleRepeating(
        refreshSeconds,
        [weak] {
            if (auto section = weak.lock())
                section->refresh();
        },
        this);
}

void HomeNowSection::stop()
{
    m_timer.cancel();
}

void HomeNowSection::refresh()
{
    // Nobody is signed in: the sign-in is on its way, or it could not reach
    // the service (an offline launch). Then the figures say so, the draw as
    // the device list kept from the last run had it.
    if (!signedIn()) {
        if (m_session->offline().isOffline())
            showUnreachable();
        return;
    }
    refreshPower();
    double seconds = RunLoop::current().clock().monotonicSeconds();
    if (!m_energyAskedAt || seconds - *m_energyAskedAt >= energyRefreshSeconds - 1e-6)
        refreshEnergy();
}

// A refresh still under way when the next one is due is waited for, not
// doubled: on a slow line requests would pile up, and each answer would
// replace a newer one.

void HomeNowSection::refreshPower()
{
    if (signedIn() && !isDownloadingDevices())
        startPowerDownload();
}

void HomeNowSection::refreshEnergy()
{
    if (signedIn() && !isDownloadingEnergy())
        startEnergyDownload();
}

bool HomeNowSection::isDownloadingDevices() const
{
    return m_powerRequest && m_powerRequest->isRunning();
}

bool HomeNowSection::isDownloadingEnergy() const
{
    return m_energyRequest && m_energyRequest->isRunning();
}

void HomeNowSection::startPowerDownload()
{
    auto request = WebServiceConnector::create(endpoints::kDeviceList.path, "action=true", false);
    m_powerRequest = request;
    unsigned number = ++m_powerSent;
    request->setContext(PowerDownload { number });
    request->setDelegate(shared_from_this());
    request->startConnectionForDownload(true);
    // A request that could not even start calls nothing back.
    if (m_powerRequest == request && !request->isRunning()) {
        m_powerRequest.reset();
        m_powerShown = number;
        powerFailed(now::unreachable);
    }
}

void HomeNowSection::startEnergyDownload()
{
    Date at = now();
    EnergyToday::Days days = EnergyToday::daysAround(at, m_session->householdTimeZone());
    m_energyAskedAt = RunLoop::current().clock().monotonicSeconds();
    m_energyRequest = WebServiceConnector::create(endpoints::kHomeEnergy.path,
        "device_id=battery&from=" + millisecondsText(days.yesterdayStart) + "&to=" + millisecondsText(at)
            + "&block=CLOCK_HOUR",
        false);
    auto request = m_energyRequest;
    unsigned number = ++m_energySent;
    request->setContext(EnergyDownload { number, at });
    request->setDelegate(shared_from_this());
    request->startConnectionForDownload(true);
    if (m_energyRequest == request && !request->isRunning()) {
        m_energyRequest.reset();
        m_energyShown = number;
        energyFailed(now::unreachable);
    }
}

void HomeNowSection::reset()
{
    for (auto* request : { &m_powerRequest, &m_energyRequest }) {
        if (*request)
            (*request)->cancel();
        request->reset();
    }
    m_powerShown = m_powerSent;
    m_energyShown = m_energySent;
    m_energyAskedAt.reset();
    m_power = {};
    m_energy = {};
    m_tariff.reset();
    changed();
}

void HomeNowSection::requestFinished(WebServiceConnector& request, bool success, const json::Value& data)
{
    if (const auto* download = request.context<PowerDownload>())
        powerEnded(*download, success, data, request.answeredWithJSON());
    else if (const auto* download = request.context<EnergyDownload>())
        energyEnded(*download, success, data, request.answeredWithJSON());
}

void HomeNowSection::requestFailed(WebServiceConnector& request, const TransportError&)
{
    // The network-failure panel has been shown by the request; the figure
    // says why it has no number.
    if (const auto* download = request.context<PowerDownload>()) {
        if (download->number == m_powerSent)
            m_powerRequest.reset();
        if (download->number > m_powerShown) {
            m_powerShown = download->number;
            powerFailed(now::unreachable);
        }
    } else if (const auto* download = request.context<EnergyDownload>()) {
        if (download->number == m_energySent)
            m_energyRequest.reset();
        if (download->number > m_energyShown) {
            m_energyShown = download->number;
            energyFailed(now::unreachable);
        }
    }
}

void HomeNowSection::powerEnded(
    const PowerDownload& download, bool success, const json::Value& data, bool answeredWithJSON)
{
    if (download.number == m_powerSent)
        m_powerRequest.reset();
    // An answer older than the one shown (or from before a sign-out) is not
    // shown over it.
    if (download.number <= m_powerShown)
        return;
    m_powerShown = download.number;
    const json::Value& list = data["devices"];
    if (!success || !list.isArray()) {
        powerFailed(success ? now::unreadable : now::failureReason(data, answeredWithJSON));
        return;
    }
    m_power.figure = powerOf(list, now());
    m_power.fromKeptList = false;
    m_power.failure.reset();
    changed();
}

void HomeNowSection::energyEnded(
    const EnergyDownload& download, bool success, const json::Value& data, bool answeredWithJSON)
{
    if (download.number == m_energySent)
        m_energyRequest.reset();
    if (download.number <= m_energyShown)
        return;
    m_energyShown = download.number;
    auto blocks = success ? hourlyEnergyOf(data) : std::nullopt;
    if (!blocks) {
        energyFailed(success ? now::unreadable : now::failureReason(data, answeredWithJSON));
        return;
    }
    m_energy.blocks = std::move(*blocks);
    m_energy.at = download.at;
    m_energy.figure = EnergyToday::of(*m_energy.blocks, download.at, m_session->householdTimeZone(), m_tariff);
    m_energy.failure.reset();
    changed();
}

void HomeNowSection::showUnreachable()
{
    bool changes = m_power.failure != now::unreachable || m_energy.failure != now::unreachable;
    if (!m_power.figure) {
        CachedList kept(m_session, "devices");
        std::optional<json::Value> reply = kept.takeKept();
        if (reply && (*reply)["devices"].isArray() && kept.shownFetchedAt()) {
            m_power.figure = powerOf((*reply)["devices"], *kept.shownFetchedAt());
            m_power.fromKeptList = true;
            changes = true;
        }
    }
    m_power.failure = now::unreachable;
    m_energy.failure = now::unreachable;
    if (changes)
        changed();
}

PowerNow HomeNowSection::powerOf(const json::Value& list, Date at) const
{
    auto user = m_session->curUser();
    const TimeZone zone = Device::householdTimeZone(user.get());
    std::vector<std::shared_ptr<Device>> devices;
    devices.reserve(list.count());
    for (std::size_t i = 0; i < list.count(); ++i)
        devices.push_back(Device::fromJSON(list[i], zone));
    return PowerNow::of(devices, at);
}

void HomeNowSection::powerFailed(std::string reason)
{
    m_power.failure = std::move(reason);
    changed();
}

void HomeNowSection::energyFailed(std::string reason)
{
    m_energy.failure = std::move(reason);
    changed();
}

void HomeNowSection::changed()
{
    if (onChange)
        onChange();
}

bool HomeNowSection::keepsPower(Date at) const
{
    const auto& figure = m_power.figure;
    return figure && figure->readingTime && at.timeIntervalSince(*figure->readingTime) <= keptFigureSeconds;
}

bool HomeNowSection::keepsEnergy(Date at) const
{
    // Not past midnight either: yesterday's figure is no figure for today.
    return m_energy.figure && at.timeIntervalSince(m_energy.at) <= keptFigureSeconds
        && EnergyToday::daysAround(at, m_session->householdTimeZone()).todayStart == m_energy.figure->days.todayStart;
}

bool HomeNowSection::keepsPowerShown(Date at) const
{
    // The list kept from the last run is shown whatever its age, with its
    // time: it is all there is.
    return keepsPower(at) || (m_power.fromKeptList && m_power.figure && m_power.figure->readingTime);
}

bool HomeNowSection::showsDevices() const
{
    return m_power.figure && (!m_power.failure || keepsPowerShown(now()));
}

int HomeNowSection::numberOfRows() const
{
    int figures = m_tariff ? 3 : 2;
    return figures + (showsDevices() ? static_cast<int>(m_power.figure->top.size()) : 0);
}

HomeNowSection::Row HomeNowSection::rowKind(int row) const
{
    if (row == 0)
        return Row::Power;
    if (row == 1)
        return Row::Energy;
    if (row == 2 && m_tariff)
        return Row::Cost;
    return Row::Device;
}

double HomeNowSection::heightForRow(int row) const
{
    // Larger text: a device's name may take two lines, and a figure's detail
    // line a second one.
    if (rowKind(row) == Row::Device)
        return heightForText(NowFigureCell::compactHeight);
    double tall = heightForText(NowFigureCell::tallHeight);
    return textScale() > 1 ? tall + heightForText(18) : tall;
}

std::shared_ptr<Device> HomeNowSection::deviceAtRow(int row) const
{
    if (rowKind(row) != Row::Device || !showsDevices())
        return nullptr;
    int index = row - (m_tariff ? 3 : 2);
    const auto& top = m_power.figure->top;
    if (index < 0 || index >= static_cast<int>(top.size()))
        return nullptr;
    return top[static_cast<std::size_t>(index)].device;
}

std::string HomeNowSection::clockText(Date date)
{
    TimeZone zone = m_session->householdTimeZone();
    if (!m_clockFormatter) {
        m_clockFormatter.emplace();
        m_clockFormatter->setTimeStyle(DateFormatter::Style::Short);
    }
    if (!(m_clockFormatter->timeZone() == zone))
        m_clockFormatter->setTimeZone(zone);
    if (!(m_clockFormatter->locale() == Locale::current()))
        m_clockFormatter->setLocale(Locale::current());
    // A time of another day (a list kept from an earlier run) has its date.
    bool today = dateAtMidnight(date, zone) == dateAtMidnight(now(), zone);
    m_clockFormatter->setDateStyle(today ? DateFormatter::Style::None : DateFormatter::Style::Short);
    return m_clockFormatter->stringFromDate(date);
}

std::string HomeNowSection::money(double amount)
{
    // The formatter follows both the tariff's currency and the device's
    // locale, which the user may change while the app runs.
    if (!m_currencyFormatter || m_currencyFormatter->currencyCode() != m_tariff->currency
        || !(m_currencyFormatter->locale() == Locale::current()))
        m_currencyFormatter.emplace(m_tariff->currency, Locale::current());
    return m_currencyFormatter->string(amount);
}

HomeNowSection::Texts HomeNowSection::powerTexts()
{
    Texts texts { "Power now", "", kLoading, "" };
    const auto& figure = m_power.figure;
    if (m_power.failure) {
        if (keepsPowerShown(now())) {
            texts.value = quantity::power(figure->totalWatts);
            texts.detail = "at " + clockText(*figure->readingTime) + " · " + *m_power.failure;
        } else {
            texts.value = now::noFigure;
            texts.detail = *m_power.failure;
        }
        return texts;
    }
    if (!figure)
        return texts;
    if (figure->metersReporting == 0) {
        texts.value = now::noFigure;
        texts.detail
            = figure->metersNotReporting == 0 ? "No devices" : now::metersNotReportingText(figure->metersNotReporting);
        return texts;
    }
    texts.value = quantity::power(figure->totalWatts);
    texts.detail = "at " + clockText(*figure->readingTime);
    if (figure->metersNotReporting > 0)
        texts.detail += " · " + now::metersNotReportingText(figure->metersNotReporting);
    return texts;
}

HomeNowSection::Texts HomeNowSection::energyTexts()
{
    Texts texts { "Energy today", "", kLoading, "" };
    const auto& figure = m_energy.figure;
    if (m_energy.failure) {
        if (keepsEnergy(now())) {
            texts.value = quantity::energy(figure->todayKWh);
            texts.detail = "at " + clockText(m_energy.at) + " · " + *m_energy.failure;
        } else {
            texts.value = now::noFigure;
            texts.detail = *m_energy.failure;
        }
        return texts;
    }
    if (!figure)
        return texts;
    texts.value = quantity::energy(figure->todayKWh);
    texts.detail = "Yesterday by " + clockText(m_energy.at) + ": " + quantity::energy(figure->yesterdayKWh);
    if (figure->hoursWithoutData > 0)
        texts.detail += " · " + now::hoursWithoutDataText(figure->hoursWithoutData);
    texts.change = now::changeText(figure->changePercent);
    return texts;
}

HomeNowSection::Texts HomeNowSection::costTexts()
{
    Texts texts { "Cost today", "", kLoading, "" };
    const auto& figure = m_energy.figure;
    if (m_energy.failure) {
        if (keepsEnergy(now()) && figure->todayCost) {
            texts.value = money(*figure->todayCost);
            texts.detail = "at " + clockText(m_energy.at) + " · " + *m_energy.failure;
        } else {
            texts.value = now::noFigure;
            texts.detail = *m_energy.failure;
        }
        return texts;
    }
    if (!figure || !figure->todayCost)
        return texts;
    texts.value = money(*figure->todayCost);
    texts.detail = "Yesterday by " + clockText(m_energy.at) + ": " + money(figure->yesterdayCost.value_or(0));
    return texts;
}

HomeNowSection::Texts HomeNowSection::textsOfRow(int row)
{
    switch (rowKind(row)) {
    case Row::Power:
        return powerTexts();
    case Row::Energy:
        return energyTexts();
    case Row::Cost:
        return costTexts();
    case Row::Device:
        break;
    }
    auto device = deviceAtRow(row);
    if (!device)
        return {};
    int index = row - (m_tariff ? 3 : 2);
    double watts = m_power.figure->top[static_cast<std::size_t>(index)].watts;
    return { shownName(device->deviceName), quantity::power(watts), "", "" };
}

std::shared_ptr<TableViewCell> HomeNowSection::cellForRow(TableView& table, int row)
{
    bool isDevice = rowKind(row) == Row::Device;
    const char* identifier = isDevice ? kDeviceIdentifier : kFigureIdentifier;
    auto cell = std::dynamic_pointer_cast<NowFigureCell>(table.dequeueReusableCellWithIdentifier(identifier));
    if (!cell)
        cell = NowFigureCell::create(isDevice ? NowFigureCell::Form::Compact : NowFigureCell::Form::Tall, identifier);
    Texts texts = textsOfRow(row);
    static const char* const figureIdentifiers[] = { "powerNowCell", "energyTodayCell", "costTodayCell" };
    switch (rowKind(row)) {
    case Row::Power:
    case Row::Energy:
    case Row::Cost:
        cell->setAccessibilityIdentifier(figureIdentifiers[static_cast<int>(rowKind(row))]);
        cell->setAccessoryType(TableViewCellAccessoryType::None);
        break;
    case Row::Device:
        cell->setAccessibilityIdentifier("topDevice" + std::to_string(row - (m_tariff ? 3 : 2)));
        cell->setAccessoryType(TableViewCellAccessoryType::DisclosureIndicator);
        break;
    }
    cell->name().setText(texts.name);
    cell->value().setText(texts.value);
    cell->detail().setText(texts.detail);
    cell->change().setText(texts.change);
    cell->change().setTextColor(texts.change.rfind('+', 0) == 0 || texts.change.rfind("> +", 0) == 0
            ? Color::rgb(0.8, 0.045, 0.045)
            : (texts.change.rfind("\u2212", 0) == 0 ? Color::rgb(0.2, 0.5, 0.3) : Color::white(0.45)));
    cell->setNeedsLayout();
    return cell;
}

}
