// libxml2 as the second reader. Why libxml2 and not QDomDocument: in Qt 5.15
// QDomDocument reads either through QXmlStreamReader (the decoder's own
// parser, so a fault of the reader would be shared, not found) or through
// the deprecated QXmlSimpleReader, which reports namespace declarations as
// attributes and leaves no defined partial tree after an error. libxml2 is a
// separate implementation of XML 1.0 and Namespaces in XML whose SAX2
// interface hands over each start tag, namespace-resolved, as soon as it is
// complete, and stops for good at the first fatal error: the partial tree up
// to an error is defined the way the decoder defines it.
//
// One difference between the readers is the decoder's, and is modelled here:
// Qt's reader converts the bytes of a frame to text whole before it reads
// any of it, so a byte sequence that is not UTF-8 anywhere in a UTF-8 frame,
// even after the root element, voids the frame; libxml2 converts as it reads
// and stops only where it meets the bad bytes.
//
// The decoder's bounds are applied here the way it applies them: a frame
// holds at most 4,096 elements and 4,096 attributes, an element at most
// 1,024 (namespace declarations count, as the '=' signs of the start tag),
// nesting at most Message::MAX_DEPTH, and no document type declaration.
#include "fuzz/xmloracle.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>

#include <vector>

namespace oracle {

namespace {

constexpr int kMaxElements = 4096;
constexpr int kMaxAttributes = 1024;
constexpr int kMaxDocumentAttributes = 4096;

struct State
{
    xmlParserCtxtPtr ctxt = nullptr;
    Reading* out = nullptr;
    std::vector<Message*> open;
    int elements = 0;
    int attributes = 0;
    bool stopped = false;
};

std::string text(const xmlChar* s)
{
    return s ? std::string(reinterpret_cast<const char*>(s)) : std::string();
}

void stop(State& st, Outcome outcome)
{
    if (st.stopped)
        return;
    st.stopped = true;
    st.out->outcome = outcome;
    xmlStopParser(st.ctxt);
}

void onStart(void* ctx, const xmlChar* localname, const xmlChar*, const xmlChar*, int nbNamespaces, const xmlChar**,
             int nbAttributes, int, const xmlChar** attrs)
{
    State& st = *static_cast<State*>(ctx);
    if (st.stopped)
        return;
    // An undeclared prefix is a namespace error, which libxml2 reports and
    // reads on; the decoder's reader stops there as at malformed input.
    if (!st.ctxt->nsWellFormed)
        return stop(st, Outcome::Malformed);
    const int count = nbAttributes + nbNamespaces;
    st.attributes += count;
    if (++st.elements > kMaxElements || count > kMaxAttributes || st.attributes > kMaxDocumentAttributes
        || st.open.size() >= Message::MAX_DEPTH)
        return stop(st, Outcome::Bound);

    Message* node = nullptr;
    if (st.open.empty()) {
        node = &st.out->tree;
        node->set_name(text(localname));
        st.out->rootSeen = true;
    } else {
        node = &st.open.back()->add_child(text(localname));
    }
    for (int i = 0; i < nbAttributes; ++i) {
        const xmlChar* const* a = attrs + 5 * i;
        const std::string name = text(a[0]);
        node->params().set_string(name.c_str(), std::string(reinterpret_cast<const char*>(a[3]), size_t(a[4] - a[3])));
    }
    st.open.push_back(node);
}

void onEnd(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*)
{
    State& st = *static_cast<State*>(ctx);
    if (st.stopped || st.open.empty())
        return;
    st.open.pop_back();
    // Whatever follows the root is not read by the decoder either.
    if (st.open.empty())
        stop(st, Outcome::Complete);
}

void onDoctype(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*)
{
    stop(*static_cast<State*>(ctx), Outcome::Bound);
}

void onError(void* ctx, xmlErrorPtr error)
{
    // Warnings (a namespace name that is no absolute URI, say) do not stop
    // a reader; errors and fatal errors do.
    if (error && error->level >= XML_ERR_ERROR)
        stop(*static_cast<State*>(ctx), Outcome::Malformed);
}

// a is b, or b cut at some point in document order: a node of a is its
// counterpart in b with the same name and parameters, whose children of each
// name are those of b up to the last one of a, which may itself be cut.
bool isCutOf(const Message& a, const Message& b)
{
    if (a.get_name() != b.get_name() || a.params() != b.params())
        return false;
    for (const auto& list : a.children()) {
        const auto other = b.children().find(list.first);
        if (other == b.children().end() || other->second.size() < list.second.size())
            return false;
        const size_t n = list.second.size();
        for (size_t i = 0; i + 1 < n; ++i) {
            if (*list.second[i] != *other->second[i])
                return false;
        }
        if (n && !isCutOf(*list.second[n - 1], *other->second[n - 1]))
            return false;
    }
    return true;
}

// Strict UTF-8 as Qt's codec takes it: shortest forms only, no surrogates,
// nothing above U+10FFFF.
bool validUtf8(const std::string& s)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* const end = p + s.size();
    while (p < end) {
        const unsigned char c = *p;
        int more = 0;
        unsigned long cp = 0;
        unsigned long min = 0;
        if (c < 0x80) {
            ++p;
            continue;
        } else if ((c & 0xe0) == 0xc0) {
            more = 1, cp = c & 0x1f, min = 0x80;
        } else if ((c & 0xf0) == 0xe0) {
            more = 2, cp = c & 0x0f, min = 0x800;
        } else if ((c & 0xf8) == 0xf0) {
            more = 3, cp = c & 0x07, min = 0x10000;
        } else {
            return false;
        }
        if (end - p <= more)
            return false;
        for (int i = 1; i <= more; ++i) {
            if ((p[i] & 0xc0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i] & 0x3f);
        }
        if (cp < min || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
            return false;
        p += more + 1;
    }
    return true;
}

bool empty(const Message& m)
{
    return m.get_name().empty() && !m.params().has_param() && m.children().empty();
}

} // namespace

Reading read(const std::string& frame)
{
    Reading out;
    State st;
    st.out = &out;

    xmlSAXHandler sax{};
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = onStart;
    sax.endElementNs = onEnd;
    sax.internalSubset = onDoctype;
    sax.serror = onError;
    st.ctxt = xmlCreatePushParserCtxt(&sax, &st, nullptr, 0, nullptr);
    if (!st.ctxt)
        return out;
    // Entities resolved in values as the decoder's reader resolves them;
    // nothing is ever fetched.
    xmlCtxtUseOptions(st.ctxt, XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_HUGE);
    xmlParseChunk(st.ctxt, frame.data(), int(frame.size()), 1);
    if (!st.stopped)
        out.outcome = Outcome::Malformed;
    const char* declared = reinterpret_cast<const char*>(st.ctxt->encoding);
    if ((!declared || xmlStrcasecmp(st.ctxt->encoding, BAD_CAST "UTF-8") == 0) && !validUtf8(frame))
        out.outcome = Outcome::Malformed;
    xmlFreeParserCtxt(st.ctxt);
    return out;
}

bool agrees(const Message& decoded, const Reading& oracle, std::string& why)
{
    if (oracle.outcome != Outcome::Malformed) {
        const bool same = oracle.rootSeen ? decoded == oracle.tree : empty(decoded);
        if (!same)
            why = oracle.outcome == Outcome::Complete ? "a whole message read differently"
                                                      : "a message cut at a bound read differently";
        return same;
    }
    if (empty(decoded) || !oracle.rootSeen)
        return true;
    if (isCutOf(decoded, oracle.tree) || isCutOf(oracle.tree, decoded))
        return true;
    why = "malformed input: the elements both readers read differ";
    return false;
}

} // namespace oracle
