// One dropped file in the list: what the core read in it (the info report, or why it is
// refused), the way it goes, the size question where a BBD file's copies differ, and what the
// conversion will give.
"use strict";

window.PlimbrookFileEntry = (() => {
    const kKiB = 1024;
    const kDirections = [
        { value: "copier", text: "to a copier file" },
        { value: "save", text: "back to a save" },
        { value: "gd3", text: "back to a save, read as a Game Doctor file" },
    ];
    const kSizeQuestion = "The four 8 KiB copies in this BBD file differ. It may hold one 32 KiB " +
        "save, or an 8 KiB save beside leftovers of other games. Write:";
    const kSizeChoices = [
        { caption: "Whole 32 KiB", size: 32 * kKiB },
        { caption: "First 8 KiB", size: 8 * kKiB },
    ];

    function element(tag, properties = {}, children = []) {
        const node = Object.assign(document.createElement(tag), properties);
        node.append(...children);
        return node;
    }

    // Every entry starts as a copy of one skeleton: a thousand files dropped at once are listed
    // in a fraction of the time that building each node anew would take.
    const skeleton = document.createElement("template");
    skeleton.innerHTML = '<li class="file"><h3></h3><dl class="report"></dl>' +
        '<div class="choices" hidden><div class="direction"><label>Convert ' +
        '<span class="visually-hidden"></span></label><select>' +
        kDirections.map((d) => `<option value="${d.value}">${d.text}</option>`).join("") +
        '</select></div></div><p class="result"></p><ul class="notes"></ul>' +
        '<div class="actions"></div></li>';

    function reportOf(report, lines) {
        for (const line of lines) {
            report.append(element("div", {}, [element("dt", { textContent: line.key }),
                                              element("dd", { textContent: line.value })]));
        }
    }

    class FileEntry {
        // handlers: {changed(entry), remove(entry), takeComment(entry), readAsGameDoctor(entry)}
        constructor(id, name, reading, handlers) {
            this.id = id;
            this.name = name;
            this.reading = reading;
            this.gameDoctorReading = null;
            this.gameDoctorRead = null;
            this.direction = reading.toSave ? "save" : "copier";
            this.sizeAnswer = kSizeChoices[0].size;
            this.handlers = handlers;
            this.outcome = null;
            this.sizeQuestion = null;
            this.node = this.build();
        }

        // The reading that the chosen way goes from.
        get activeReading() {
            return this.direction === "gd3" ? this.gameDoctorReading : this.reading;
        }

        get request() {
            return { toSave: this.direction !== "copier", whenCopiesDiffer: this.sizeAnswer };
        }

        build() {
            const node = skeleton.content.firstElementChild.cloneNode(true);
            const heading = node.querySelector("h3");
            heading.id = `file-${this.id}-name`;
            heading.textContent = this.name;
            node.setAttribute("aria-labelledby", heading.id);
            reportOf(node.querySelector(".report"), this.reading.lines);
            this.choices = node.querySelector(".choices");
            this.result = node.querySelector(".result");
            this.notes = node.querySelector(".notes");
            const actions = node.querySelector(".actions");
            if (this.reading.holdsComment) {
                actions.append(this.button("Take its comment", `Take the comment of ${this.name}`,
                                           () => this.handlers.takeComment(this)));
            }
            actions.append(this.button("Remove", `Remove ${this.name}`,
                                       () => this.handlers.remove(this)));
            // A file that no way converts has no way to choose.
            if (!this.reading.reason) {
                this.directionChoice();
            }
            return node;
        }

        button(text, label, action) {
            const button = element("button", { type: "button", textContent: text });
            button.setAttribute("aria-label", label);
            button.addEventListener("click", action);
            return button;
        }

        directionChoice() {
            this.choices.hidden = false;
            const select = this.choices.querySelector("select");
            select.id = `file-${this.id}-direction`;
            select.value = this.direction;
            select.addEventListener("change", async () => {
                // The way changes once its reading is there: anything redrawn meanwhile still
                // goes the way it went. Two quick changes share the one reading.
                if (select.value === "gd3" && !this.gameDoctorReading) {
                    this.gameDoctorRead ??= this.handlers.readAsGameDoctor(this);
                    await this.gameDoctorRead;
                }
                this.direction = select.value;
                this.handlers.changed(this);
            });
            const label = this.choices.querySelector("label");
            label.htmlFor = select.id;
            label.querySelector("span").textContent = `${this.name} `;
        }

        sizeChoice() {
            const name = `file-${this.id}-size`;
            const fieldset = element("fieldset", { className: "size" },
                                     [element("legend", { textContent: kSizeQuestion })]);
            for (const choice of kSizeChoices) {
                const radio = element("input", { type: "radio", name, value: String(choice.size),
                                                 checked: choice.size === this.sizeAnswer });
                radio.addEventListener("change", () => {
                    this.sizeAnswer = choice.size;
                    this.handlers.changed(this);
                });
                fieldset.append(element("label", {}, [radio, ` ${choice.caption}`]));
            }
            return fieldset;
        }

        // outcome: {reason, extension, notes, name, duplicate}
        show(outcome) {
            this.outcome = outcome;
            const reading = this.activeReading;
            const asked = this.direction !== "copier" && reading && reading.copiesDiffer;
            if (asked && !this.sizeQuestion) {
                this.sizeQuestion = this.sizeChoice();
                this.choices.querySelector(".direction").append(this.sizeQuestion);
            }
            if (this.sizeQuestion) {
                this.sizeQuestion.hidden = !asked;
            }
            this.node.classList.toggle("refused", Boolean(outcome.reason));
            this.result.textContent = outcome.reason ? `Not converted: ${outcome.reason}`
                : `Gives ${outcome.name}`;
            this.notes.replaceChildren(...outcome.notes.map((note) => element("li", {
                className: note.warning ? "warning" : "note",
                textContent: `${note.warning ? "Warning" : "Note"}: ${note.text}`,
            })));
        }

        ready() {
            return this.outcome !== null && !this.outcome.reason;
        }
    }

    return { FileEntry };
})();
