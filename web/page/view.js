// Everything the page shows goes through the View: a run says what happened,
// and the View alone decides how it looks and what assistive technology hears.

// The most records of the report the page shows: the file has them all.
const REPORT_ROWS = 50;

// What the page shows: the button's caption, what assistive technology is
// told, the error below the button and the download links.
class View {
  constructor() {
    this.button = document.getElementById("Command1");
    this.runError = document.getElementById("RunError");
    this.runStatus = document.getElementById("RunStatus");
    this.downloads = document.getElementById("Downloads");
    this.report = document.getElementById("Report");
    this.runAgain = document.getElementById("RunAgain");
    this.runAgainButton = document.getElementById("RunAgainButton");
    this.runAgainButton.textContent = TEXTS.runAgain;
    this.runAgainWhat = document.getElementById("RunAgainWhat");
    // The report's suggested replacements, each with its check box.
    this.suggestions = [];
    this.announced = false;
  }

  setCaption(text) {
    this.button.textContent = text;
  }

  // A run's progress captions would each change the button's name: while it
  // goes on, assistive technology hears one name and is told once of its
  // start and once of its end.
  startRun() {
    // The report goes, and with it what had the focus: a run again's button.
    if (this.report.contains(document.activeElement)) this.button.focus();
    this.clearDownloads();
    this.clearReport();
    this.hideError();
    this.button.setAttribute("aria-busy", "true");
    this.button.setAttribute("aria-label", TEXTS.running);
    this.runStatus.textContent = TEXTS.running;
    this.announced = true;
  }

  // Also ends what never started as a run: a folder picker that failed.
  endRun(caption) {
    this.setCaption(caption);
    if (!this.announced) return;
    this.announced = false;
    this.button.removeAttribute("aria-busy");
    this.button.removeAttribute("aria-label");
    this.runStatus.textContent = TEXTS.runEnded;
  }

  showInstructions(caption) {
    this.setCaption(caption);
    this.hideError();
    this.clearDownloads();
    this.clearReport();
    this.runStatus.textContent = "";
  }

  showUnsupported(missing) {
    this.setCaption(fill(TEXTS.unsupported, { missing, browsers: workingBrowsers() }));
    this.button.setAttribute("aria-disabled", "true");
  }

  // `replaced`: the outputs already put in place over earlier files.
  showError(message, replaced) {
    this.endRun(replaced.length ? fill(TEXTS.failedAfterReplacing, { names: replaced.join(" and ") }) : TEXTS.failed);
    this.runError.textContent = message;
    this.show(this.runError);
  }

  // Anything but the program's own run-time error: the user learns what
  // happened and what to do, and the technical text follows for a report.
  showCrash(technical, replaced) {
    const names = replaced.join(" and ");
    this.endRun(replaced.length ? fill(TEXTS.failedAfterReplacing, { names }) : TEXTS.crashed);
    const explained = document.createElement("p");
    const saved = replaced.length ? fill(TEXTS.replaced, { names }) : TEXTS.nothingSaved;
    explained.textContent = fill(TEXTS.crashExplained, { saved, browsers: workingBrowsers() });
    const details = document.createElement("p");
    details.className = "technical";
    details.textContent = technical;
    this.runError.replaceChildren(explained, details);
    this.show(this.runError);
  }

  showDownloads(outputs) {
    for (const { name, blob } of outputs) {
      const link = document.createElement("a");
      link.download = name;
      link.href = URL.createObjectURL(blob);
      link.textContent = fill(TEXTS.save, { name });
      this.downloads.append(link);
    }
    this.show(this.downloads);
  }

  // The report as a table, its most removed symbols first, with the
  // findings a user must see above it and the sentences after it: records
  // of tab-separated fields, each ended by CR LF; a sentence stands in the
  // Note column of a record of its own. A row whose Replace with column has
  // a suggestion gets a check box there, for a run again with the checked
  // ones, which `againText` says what it does with them.
  showReport(text, againText) {
    const records = text.split("\r\n");
    const header = records.findIndex((record) => record.startsWith("Symbol\t"));
    const blank = records.indexOf("", header);
    const sentences = (list) => list.filter(Boolean).map((record) => record.split("\t")[5] ?? record)
      .map((sentence) => Object.assign(document.createElement("p"), { textContent: sentence }));
    const rows = records.slice(header + 1, blank).map((record) => record.split("\t"));
    document.getElementById("ReportFindings").replaceChildren(...sentences(records.slice(0, header)));
    const headings = document.createElement("tr");
    for (const name of records[header].split("\t")) {
      const heading = document.createElement("th");
      heading.scope = "col";
      heading.textContent = name;
      headings.append(heading);
    }
    this.report.querySelector("thead").replaceChildren(headings);
    this.report.querySelector("tbody").replaceChildren(...rows.slice(0, REPORT_ROWS).map((fields) => {
      const row = document.createElement("tr");
      fields.forEach((field, column) => {
        const cell = document.createElement(column === 0 ? "th" : "td");
        if (column === 0) cell.scope = "row";
        if (column === 6 && field !== "") {
          cell.append(this.suggestion(fields[0], field));
        } else if (column === 0 || column === 6) {
          cell.append(...withMarks(field));
        } else {
          cell.textContent = field;
        }
        if (column >= 2 && column <= 4) cell.className = "count";
        row.append(cell);
      });
      return row;
    }));
    this.report.querySelector(".report-table").hidden = rows.length === 0;
    const title = rows.length > REPORT_ROWS ? TEXTS.reportFirst : TEXTS.report;
    document.getElementById("ReportTitle").textContent = fill(title, { shown: REPORT_ROWS, name: REPORT });
    document.getElementById("ReportSentences").replaceChildren(...sentences(records.slice(blank + 1)));
    this.againText = againText;
    this.runAgain.hidden = this.suggestions.length === 0;
    this.showChecked();
    this.report.hidden = false;
  }

  // The replacement a row suggests, with the check box that takes it: its
  // name says the whole replacement, and a click on the text checks it too.
  suggestion(symbol, replacement) {
    const box = document.createElement("input");
    box.type = "checkbox";
    box.setAttribute("aria-label", fill(TEXTS.replace, { symbol, replacement }));
    box.addEventListener("change", () => this.showChecked());
    this.suggestions.push({ box, symbol, replacement });
    const label = document.createElement("label");
    label.append(box, ...withMarks(replacement));
    return label;
  }

  // The button stays in reach while nothing is checked, and says why it does nothing.
  showChecked() {
    const any = this.checkedReplacements().length > 0;
    this.runAgainButton.setAttribute("aria-disabled", String(!any));
    this.runAgainWhat.textContent = any ? this.againText : TEXTS.noneChecked;
  }

  // The checked suggestions, in the report's order: {symbol, replacement},
  // each as the report writes it.
  checkedReplacements() {
    return this.suggestions.filter(({ box }) => box.checked).map(({ symbol, replacement }) => ({ symbol, replacement }));
  }

  clearReport() {
    this.report.hidden = true;
    this.report.querySelector("tbody").textContent = "";
    this.suggestions = [];
    this.runAgain.hidden = true;
  }

  // At a narrow window or a large zoom what appears may lie below the fold.
  show(element) {
    element.hidden = false;
    element.scrollIntoView({ block: "nearest" });
  }

  hideError() {
    this.runError.textContent = "";
    this.runError.hidden = true;
  }

  clearDownloads() {
    for (const link of this.downloads.querySelectorAll("a")) URL.revokeObjectURL(link.href);
    this.downloads.textContent = "";
    this.downloads.hidden = true;
  }
}

// A symbol as the report writes it, with <U+00A0> for a character that
// cannot be seen and <0xE9> for a stray byte: those as marks a person sees.
function withMarks(symbol) {
  return symbol.split(/<(U\+[0-9A-F]{4,6}|0x[0-9A-F]{2})>/).map((part, i) => {
    if (i % 2 === 0) return part;
    const mark = document.createElement("span");
    mark.className = "mark";
    mark.textContent = part;
    return mark;
  });
}
