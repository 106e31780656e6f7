// Owners for the libxml2 objects of the report code, so that every writer,
// document and reader is released exactly once on every path, and the capture of
// libxml2's error reports while a report is built or read.
#pragma once

#include <memory>
#include <string>

#include <libxml/xmlerror.h>

#include <libxml/tree.h>
#include <libxml/xmlreader.h>
#include <libxml/xmlwriter.h>

struct XmlTextWriterFree {
    void operator()(xmlTextWriterPtr writer) const { xmlFreeTextWriter(writer); }
};
struct XmlDocFree {
    void operator()(xmlDocPtr doc) const { xmlFreeDoc(doc); }
};
struct XmlTextReaderFree {
    void operator()(xmlTextReaderPtr reader) const { xmlFreeTextReader(reader); }
};

using XmlTextWriterOwner = std::unique_ptr<xmlTextWriter, XmlTextWriterFree>;
using XmlDocOwner = std::unique_ptr<xmlDoc, XmlDocFree>;
using XmlTextReaderOwner = std::unique_ptr<xmlTextReader, XmlTextReaderFree>;

// Collects libxml2's errors for as long as it lives, instead of letting them go to
// standard error. The writer reports a malformed value only through this channel
// (its own calls still succeed), so it is the one sure sign of a broken document.
class XmlErrorCapture {
  public:
    XmlErrorCapture() { xmlSetStructuredErrorFunc(this, &XmlErrorCapture::on_error); }
    ~XmlErrorCapture() { xmlSetStructuredErrorFunc(nullptr, nullptr); }
    XmlErrorCapture(const XmlErrorCapture&) = delete;
    XmlErrorCapture& operator=(const XmlErrorCapture&) = delete;

    bool seen() const { return seen_; }
    // The first error's message, without its end-of-line.
    const std::string& first_message() const { return first_; }

  private:
    static void on_error(void* self, xmlErrorPtr error) {
        auto* capture = static_cast<XmlErrorCapture*>(self);
        // Warnings do not make a document unusable.
        if (capture->seen_ || error == nullptr || error->level < XML_ERR_ERROR)
            return;
        capture->seen_ = true;
        capture->first_ = error->message != nullptr ? error->message : "unknown error";
        while (!capture->first_.empty() && capture->first_.back() == '\n')
            capture->first_.pop_back();
    }

    bool seen_ = false;
    std::string first_;
};
