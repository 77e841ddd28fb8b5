// Decode, receive path and framing, each beside the cheapest pass that does
// the same job by hand, so that the ratio holds however busy the machine is;
// and the decoder beside pugixml, the fastest XML reader at hand, as an
// anchor.
#include "bench/frames.h"
#include "bench/scenarios.h"

#include "console/line.h"
#include "console/lines.h"
#include "ipc/ipc.h"
#include "ipc/ipcdatachannel.h"
#include "ipc/ipcobject.h"
#include "ipc/ipcqt.h"
#include "message/message.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGraphicsScene>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QString>
#include <QTcpServer>
#include <QXmlStreamReader>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <limits>
#include <map>
#include <memory>
#include <set>

namespace {

std::vector<std::string> g_lineStatus;
std::vector<std::string> g_ancillary;
std::vector<std::string> g_system;
// The same frames with their NUL terminators, as they come off the socket.
std::vector<std::string> g_lineStatusWire;
std::string g_block;

constexpr std::size_t kBlockBytes = 768 * 1024;
constexpr unsigned kBlockFrames = 5000;

// The baseline: one reader pass over the frame that reads every element's
// name and attributes into plain strings, with the reader set up as the
// decoder sets it up (namespace processing on, as by default).
std::size_t readerPass(const std::string& frame)
{
    QXmlStreamReader reader(QByteArray::fromRawData(frame.data(), int(frame.size())));
    QString name;
    std::vector<std::pair<QString, QString>> attributes;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement) {
            name = reader.name().toString();
            const QXmlStreamAttributes list = reader.attributes();
            for (const QXmlStreamAttribute& a : list)
                attributes.emplace_back(a.name().toString(), a.value().toString());
        }
    }
    return attributes.size() + std::size_t(name.size());
}

void BM_Reader(benchmark::State& state, const std::vector<std::string>* set)
{
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(readerPass((*set)[i++ % set->size()]));
}

// The anchor: pugixml reads the frame into a name and a map of attributes.
std::size_t pugixmlPass(const std::string& frame)
{
    pugi::xml_document doc;
    if (!doc.load_buffer(frame.data(), frame.size(), pugi::parse_default, pugi::encoding_utf8))
        return 0;
    const pugi::xml_node root = doc.first_child();
    std::string name = root.name();
    std::map<std::string, std::string> attributes;
    for (const pugi::xml_attribute& a : root.attributes())
        attributes[a.name()] = a.value();
    return attributes.size() + name.size();
}

void BM_Pugixml(benchmark::State& state, const std::vector<std::string>* set)
{
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(pugixmlPass((*set)[i++ % set->size()]));
}

// What the transport does with a frame it has cut: copy it out and decode.
void BM_Decode(benchmark::State& state, const std::vector<std::string>* set)
{
    std::size_t i = 0;
    for (auto _ : state) {
        const std::string& f = (*set)[i++ % set->size()];
        Message m(std::string(f.data(), f.size()));
        benchmark::DoNotOptimize(m);
    }
}

// A session with the line model on its scene, fed through the transport's
// framing entry point: store, dispatch, line model, panel texts.
void BM_Receive(benchmark::State& state)
{
    QGraphicsScene scene(0, 0, 1024, 768);
    IPCObject session;
    Lines lines(scene, session);
    std::size_t i = 0;
    for (auto _ : state) {
        const std::string& f = g_lineStatusWire[i++ % g_lineStatusWire.size()];
        benchmark::DoNotOptimize(session.incoming_data(f.data(), unsigned(f.size())));
    }
    // The frames must really have reached the panels.
    if (lines.line(0)->panel().textTimer().isEmpty())
        state.SkipWithError("line 0 shows no timer: frames did not reach the panel");
}

void discardMessage(QtMsgType, const QMessageLogContext&, const QString&) { }

// The same with the debug stream on (and its lines thrown away): what the
// session's log of every received message costs.
void BM_ReceiveLogged(benchmark::State& state)
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=true"));
    const QtMessageHandler previous = qInstallMessageHandler(discardMessage);
    BM_Receive(state);
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
}

class NullChannel : public IPCDataChannel
{
public:
    void outgoing_data(const char*, unsigned int) override { }
    Message::ENC_FORMAT get_encoding() const override { return Message::ENC_XML; }
};

// Counts the frames the transport cuts instead of decoding them.
class FrameCutter : public IPC
{
public:
    unsigned frames = 0;

protected:
    void rx_frame(const char*, unsigned int) override { ++frames; }
};

// How the socket channel walks a window of received bytes.
unsigned cutAll(IPC& ipc, const std::string& block)
{
    const unsigned count = unsigned(block.size());
    unsigned taken = 0;
    while (taken < count) {
        const unsigned used = ipc.incoming_data(block.data() + taken, count - taken);
        if (used == 0)
            break;
        taken += used;
    }
    return taken;
}

void BM_Framing(benchmark::State& state)
{
    FrameCutter ipc;
    ipc.set_dc(new NullChannel);
    for (auto _ : state)
        benchmark::DoNotOptimize(cutAll(ipc, g_block));
    if (ipc.frames != state.iterations() * kBlockFrames)
        state.SkipWithError("wrong number of frames cut");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(g_block.size()));
}

// The TCP channel's own receive loop: IPCQt::read_data, the slot the
// socket's readyRead runs, over a real loopback connection. Each round the
// unit's end writes the block and the channel's socket takes it in while it
// does not announce it (untimed); then one timed read_data walks it as it
// walks any window: peek, frames cut and handed over (counted here), state
// checks, the clock of the time-sliced yield, and the read that consumes the
// frames.
void BM_ReceiveLoop(benchmark::State& state)
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0)) {
        state.SkipWithError("cannot listen on 127.0.0.1");
        return;
    }
    FrameCutter ipc;
    auto* channel = new IPCQt;
    ipc.set_dc(channel);
    channel->connectToHost(QHostAddress::LocalHost, server.serverPort());
    if (!server.waitForNewConnection(5000) || !channel->waitForConnected(5000)) {
        state.SkipWithError("no loopback connection");
        return;
    }
    std::unique_ptr<QTcpSocket> unit(server.nextPendingConnection());
    const qint64 size = qint64(g_block.size());

    for (auto _ : state) {
        state.PauseTiming();
        channel->blockSignals(true);
        unit->write(g_block.data(), size);
        QElapsedTimer clock;
        clock.start();
        while (channel->bytesAvailable() < size && clock.elapsed() < 5000) {
            unit->flush();
            channel->waitForReadyRead(100);
        }
        channel->blockSignals(false);
        state.ResumeTiming();
        channel->read_data();
    }
    // A pass that gave the event loop a turn leaves the rest for later.
    while (channel->bytesAvailable() > 0 && channel->state() == QAbstractSocket::ConnectedState)
        channel->read_data();
    if (ipc.frames != state.iterations() * kBlockFrames)
        state.SkipWithError("wrong number of frames through the socket channel");
}

// Cutting and decoding every frame, for reference.
void BM_FramingDecode(benchmark::State& state)
{
    IPC ipc;
    ipc.set_dc(new NullChannel);
    for (auto _ : state)
        benchmark::DoNotOptimize(cutAll(ipc, g_block));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(g_block.size()));
}

void BM_Memchr(benchmark::State& state)
{
    for (auto _ : state) {
        const char* p = g_block.data();
        const char* const end = p + g_block.size();
        unsigned n = 0;
        while (p < end) {
            const void* z = std::memchr(p, 0, std::size_t(end - p));
            if (!z)
                break;
            ++n;
            p = static_cast<const char*>(z) + 1;
        }
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(g_block.size()));
}

// Keeps the CPU time per iteration of every benchmark (the median when
// repeated) and shows the usual table on the error stream.
class Capture : public benchmark::ConsoleReporter
{
public:
    // No colour codes: the table goes to a log file.
    Capture()
        : benchmark::ConsoleReporter(OO_Tabular)
    {
    }

    std::map<std::string, double> cpuNs;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.error_occurred) {
                // Its figures are dropped; say why where the figures go.
                if (m_reported.insert(r.run_name.str()).second)
                    std::printf("sanity error: %s: %s\n", r.run_name.str().c_str(), r.error_message.c_str());
                continue;
            }
            const double ns = r.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(r.time_unit) * 1e9;
            const std::string name = r.run_name.str();
            if (r.run_type == Run::RT_Aggregate) {
                if (r.aggregate_name == "median") {
                    cpuNs[name] = ns;
                    m_fromMedian.insert(name);
                }
            } else if (!m_fromMedian.count(name)) {
                cpuNs[name] = ns;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

private:
    std::set<std::string> m_fromMedian;
    std::set<std::string> m_reported;
};

} // namespace

int runMicro(int argc, char** argv, Figures& out)
{
    g_lineStatus = frames::lineStatusSet();
    g_ancillary = frames::ancillarySet();
    g_system = frames::systemStatusSet();
    for (const std::string& f : g_lineStatus)
        g_lineStatusWire.push_back(f + '\0');
    g_block = frames::framingBlock(kBlockBytes, kBlockFrames);

    const std::pair<const char*, const std::vector<std::string>*> sets[]
        = {{"line_status", &g_lineStatus}, {"ancillary_data", &g_ancillary}, {"system_status", &g_system}};
    for (const auto& s : sets) {
        benchmark::RegisterBenchmark((std::string("decode/") + s.first).c_str(), BM_Decode, s.second);
        benchmark::RegisterBenchmark((std::string("reader/") + s.first).c_str(), BM_Reader, s.second);
        benchmark::RegisterBenchmark((std::string("pugixml/") + s.first).c_str(), BM_Pugixml, s.second);
    }
    benchmark::RegisterBenchmark("receive/line_status", BM_Receive);
    benchmark::RegisterBenchmark("receive_logged/line_status", BM_ReceiveLogged);
    benchmark::RegisterBenchmark("framing/cut", BM_Framing);
    benchmark::RegisterBenchmark("framing/cut_and_decode", BM_FramingDecode);
    benchmark::RegisterBenchmark("framing/receive_loop", BM_ReceiveLoop);
    benchmark::RegisterBenchmark("framing/memchr", BM_Memchr);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Capture capture;
    capture.SetOutputStream(&std::cerr);
    capture.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&capture);
    benchmark::Shutdown();

    // A benchmark that did not run (filtered out, or stopped on a sanity
    // error) gives no figure at all, never a 0 that would meet a target.
    const double missing = std::numeric_limits<double>::quiet_NaN();
    const auto ns = [&](const std::string& name) {
        const auto it = capture.cpuNs.find(name);
        return it == capture.cpuNs.end() ? missing : it->second;
    };
    const auto ratio = [&](double a, double b) { return b > 0 ? a / b : missing; };
    const auto put = [&](const std::string& name, double value) {
        if (!std::isnan(value))
            out.emplace_back(name, value);
    };

    out.emplace_back("line_status_bytes", double(g_lineStatus[0].size()));
    out.emplace_back("ancillary_data_bytes", double(g_ancillary[0].size()));
    out.emplace_back("system_status_bytes", double(g_system[0].size()));
    double decodeSum = 0;
    double readerSum = 0;
    double pugixmlSum = 0;
    for (const auto& s : sets) {
        const double d = ns(std::string("decode/") + s.first);
        const double r = ns(std::string("reader/") + s.first);
        const double p = ns(std::string("pugixml/") + s.first);
        decodeSum += d;
        readerSum += r;
        pugixmlSum += p;
        put(std::string("decode_ns_") + s.first, d);
        put(std::string("reader_ns_") + s.first, r);
        put(std::string("pugixml_ns_") + s.first, p);
        put(std::string("decode_vs_reader_") + s.first, ratio(d, r));
        put(std::string("decode_vs_pugixml_") + s.first, ratio(d, p));
    }
    put("decode_vs_reader", ratio(decodeSum, readerSum));
    put("decode_vs_pugixml", ratio(decodeSum, pugixmlSum));

    const double receive = ns("receive/line_status");
    put("receive_ns_line_status", receive);
    put("receive_vs_reader", ratio(receive, ns("reader/line_status")));
    put("receive_debug_on_vs_reader", ratio(ns("receive_logged/line_status"), ns("reader/line_status")));

    const double block = double(g_block.size());
    const auto perSecond = [&](double nsPerBlock) { return nsPerBlock > 0 ? block / nsPerBlock * 1e9 : missing; };
    const double cut = ns("framing/cut");
    const double memchrNs = ns("framing/memchr");
    const double loop = ns("framing/receive_loop");
    put("memchr_bytes_per_s", perSecond(memchrNs));
    put("receive_loop_bytes_per_s", perSecond(loop));
    put("receive_loop_vs_memchr", ratio(loop, memchrNs));
    // IPC::incoming_data alone, walked over a plain buffer: the framing step
    // without the socket.
    put("incoming_data_bytes_per_s", perSecond(cut));
    put("incoming_data_vs_memchr", ratio(cut, memchrNs));
    put("framing_with_decode_bytes_per_s", perSecond(ns("framing/cut_and_decode")));
    return 0;
}
