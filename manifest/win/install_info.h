// The manifest classes of the library: CXML adds a DOM document (held only during
// one load or save) to the error text of CSetupRoot; CInstallInfo holds the model
// and reads it from and writes it into the document.
#pragma once

#include "common/win/platform.h"
#include <msxml2.h>

#include "common/win/scoped_handle.h"
#include "manifest/core/install_model.h"
#include "manifest/core/setup_root.h"

namespace lorix {

class CXML : public CSetupRoot {
 public:
  CXML() = default;
  ~CXML() override = default;

  // 1 when the file was read and parsed (the model replaced); 0 with the
  // last-error text set otherwise, the model unchanged.
  int Load(const char* path);
  // 1 when written through "temp.xml" and the "indent.xsl" transform.
  int Save(const char* path);

 protected:
  virtual bool BuildDocument() { return true; }
  virtual bool ParseDocument() { return true; }
  IXMLDOMDocument* document() const { return document_.get(); }

 private:
  tessal::ComPtr<IXMLDOMDocument> document_;
};

class CInstallInfo : public CXML {
 public:
  CInstallInfo() = default;
  ~CInstallInfo() override = default;

  InstallModel& model() { return model_; }

 protected:
  bool BuildDocument() override;
  bool ParseDocument() override;

 private:
  // One section of the model as an element of <SETUP>.
  bool AppendSection(IXMLDOMDocument* doc, IXMLDOMElement* setup, Section section);

  InstallModel model_;
};

// The one manifest model of the process.
CInstallInfo& TheInstallInfo();

}  // namespace lorix
