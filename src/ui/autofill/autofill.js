// Listing and filling of a page's login forms for the autofill wizard and the autofill browser.
//
// The program evaluates this function expression in its own isolated world (the page's scripts see
// none of its variables, and it sees none of theirs) and calls it with one request object, built as
// JSON by the program; what it returns goes back as plain data. The page and the frames of its own
// origin are reached through the DOM; a frame of another origin throws on access and is reported as
// such, never listed and never filled.
//
// A location is {frame, form, input}: frame -1 for the page's own document, else the number of a
// frame of the page (window.frames[frame]); form -1 for the inputs outside any form, else the number
// of the form in its document; input the name attribute, else the id, else "#n", the n-th listed
// input (from 0) of the form.
//
// Requests:
//   {op: "list"}  the page's forms, its formless inputs and those of each frame
//   {op: "probe", targets: [location...]}  which targets exist now, and how long the page's documents
//       have been without a change
//   {op: "fill", targets: [location + {value}...], submit: bool}  fills, then submits the form of the
//       last target whose form was found, unless that form still shows an empty password box
//   {op: "outline", target: location or null}  outlines that input and scrolls to it (null: none)
(function (request) {
  'use strict';

  const LISTED_TYPES = ['text', 'password', 'email', 'tel'];

  function isListed(el) {
    return !!el && el.localName === 'input' && LISTED_TYPES.indexOf(el.type) >= 0;
  }

  // The document of a frame number (-1: the page's own), or a reason why there is none.
  function documentOf(frame) {
    if (frame < 0) return {doc: document};
    if (frame >= window.frames.length) return {missing: 'frame'};
    try {
      const doc = window.frames[frame].document;
      if (!doc) return {crossOrigin: true};
      doc.forms;  // throws for a document of another origin
      return {doc: doc};
    } catch (e) {
      return {crossOrigin: true};
    }
  }

  function formlessInputs(doc) {
    return Array.prototype.filter.call(doc.getElementsByTagName('input'), (el) => !el.form && isListed(el));
  }

  function formInputs(form) {
    return Array.prototype.filter.call(form.elements, isListed);
  }

  function inputName(el, index) {
    return el.getAttribute('name') || el.id || '#' + index;
  }

  function labelOf(el) {
    let text = '';
    if (el.labels && el.labels.length) text = el.labels[0].textContent;
    if (!text.trim()) text = el.getAttribute('placeholder') || el.getAttribute('aria-label') || el.title || '';
    text = text.replace(/\s+/g, ' ').trim();
    return text.length > 60 ? text.slice(0, 59) + '\u2026' : text;
  }

  function describeInputs(inputs) {
    return inputs.map((el, i) => ({name: inputName(el, i), type: el.type, label: labelOf(el)}));
  }

  function listDocument(doc) {
    const forms = Array.prototype.map.call(doc.forms, (form) => ({
      action: form.getAttribute('action') || '',
      inputs: describeInputs(formInputs(form)),
    }));
    return {forms: forms, noForm: describeInputs(formlessInputs(doc))};
  }

  // The form (null for form -1) and the input a location names; missing says which part was not found.
  function locate(target) {
    const where = documentOf(target.frame);
    if (!where.doc) return {missing: where.crossOrigin ? 'crossOrigin' : 'frame'};
    const doc = where.doc;
    let form = null;
    let candidates;
    if (target.form >= 0) {
      form = doc.forms[target.form];
      if (!form) return {missing: 'form', doc: doc};
      candidates = formInputs(form);
    } else {
      candidates = formlessInputs(doc);
    }
    let el = null;
    if (form) {
      let named = form.elements.namedItem(target.input);
      if (named && typeof named.length === 'number' && !named.localName) named = named[0];
      if (named) el = named;
    } else {
      el = candidates.find((c) => c.getAttribute('name') === target.input || c.id === target.input) || null;
    }
    if (!el) {
      const m = /^#(\d+)$/.exec(target.input);
      if (m) el = candidates[Number(m[1])] || null;
    }
    if (!el) return {missing: 'input', doc: doc, form: form, hasForm: true};
    if (!isListed(el)) return {missing: 'type', doc: doc, form: form, hasForm: true};
    return {doc: doc, form: form, input: el, hasForm: true};
  }

  // Sets the value the way typing does: through the input prototype's own setter (an assignment to
  // a script-controlled input may be taken over by the page's own property), then the events by
  // which scripts learn of typing.
  function setValue(el, value) {
    const view = el.ownerDocument.defaultView || window;
    const setter = Object.getOwnPropertyDescriptor(view.HTMLInputElement.prototype, 'value').set;
    setter.call(el, value);
    el.dispatchEvent(new view.Event('input', {bubbles: true}));
    el.dispatchEvent(new view.Event('change', {bubbles: true}));
  }

  function shown(el) {
    return !el.disabled && el.getClientRects().length > 0;
  }

  function emptyPassword(inputs) {
    return inputs.some((el) => el.type === 'password' && el.value === '' && shown(el));
  }

  function isButton(el) {
    if (el.localName === 'button') return true;
    if (el.localName === 'input') return ['submit', 'button', 'image'].indexOf(el.type) >= 0;
    return el.getAttribute('role') === 'button';
  }

  // The first button after el in document order.
  function buttonAfter(el) {
    const doc = el.ownerDocument;
    const walker = doc.createTreeWalker(doc.documentElement, 1 /* NodeFilter.SHOW_ELEMENT */);
    walker.currentNode = el;
    for (let node = walker.nextNode(); node; node = walker.nextNode())
      if (isButton(node) && !node.disabled) return node;
    return null;
  }

  function submitForm(form) {
    const view = form.ownerDocument.defaultView || window;
    const proto = view.HTMLFormElement.prototype;
    // The form's default button, as Enter in a box would use it (its name and value go along).
    const submitter = Array.prototype.find.call(form.elements, (el) =>
        !el.disabled && ((el.localName === 'button' && el.type === 'submit') ||
                         (el.localName === 'input' && (el.type === 'submit' || el.type === 'image'))));
    // requestSubmit runs the page's submit handlers and checks; submit() would skip them.
    if (typeof proto.requestSubmit === 'function') {
      if (submitter) proto.requestSubmit.call(form, submitter);
      else proto.requestSubmit.call(form);
    } else {
      proto.submit.call(form);
    }
  }

  function fill(request) {
    const results = [];
    let last = null;  // {doc, form} of the last target whose form was found
    let lastFilled = null;
    for (const target of request.targets) {
      const found = locate(target);
      if (found.hasForm) last = {doc: found.doc, form: found.form};
      if (found.missing) {
        results.push(found.missing);
        continue;
      }
      setValue(found.input, String(target.value));
      lastFilled = found.input;
      results.push('filled');
    }
    const out = {results: results, submitted: false, reason: ''};
    if (!request.submit) return out;
    if (!last) {
      out.reason = 'noForm';
      return out;
    }
    if (emptyPassword(last.form ? formInputs(last.form) : formlessInputs(last.doc))) {
      out.reason = 'emptyPassword';
      return out;
    }
    if (last.form) {
      submitForm(last.form);
    } else {
      const button = lastFilled && lastFilled.ownerDocument === last.doc ? buttonAfter(lastFilled) : null;
      if (!button) {
        out.reason = 'noButton';
        return out;
      }
      button.click();
    }
    out.submitted = true;
    return out;
  }

  // The time since the last change of the page or of one of its frames of the same origin.
  function quietMs() {
    const now = performance.now();
    if (!window.__quillmarWatch) {
      window.__quillmarWatch = {last: now, seen: new WeakSet()};
    }
    const watch = window.__quillmarWatch;
    const observe = (doc) => {
      if (!doc || watch.seen.has(doc)) return;
      watch.seen.add(doc);
      watch.last = now;
      new MutationObserver(() => { watch.last = performance.now(); })
          .observe(doc, {childList: true, subtree: true, attributes: true});
    };
    observe(document);
    for (let k = 0; k < window.frames.length; ++k) observe(documentOf(k).doc);
    return Math.round(performance.now() - watch.last);
  }

  function outline(target) {
    const old = window.__quillmarOutlined;
    if (old && old.el.isConnected) {
      old.el.style.outline = old.outline;
      old.el.style.outlineOffset = old.offset;
    }
    window.__quillmarOutlined = null;
    if (!target) return false;
    const found = locate(target);
    if (!found.input) return false;
    const el = found.input;
    window.__quillmarOutlined = {el: el, outline: el.style.outline, offset: el.style.outlineOffset};
    el.style.outline = '3px solid #e8a317';
    el.style.outlineOffset = '2px';
    el.scrollIntoView({block: 'center', inline: 'nearest'});
    return true;
  }

  try {
    switch (request.op) {
      case 'list': {
        const type = document.contentType || '';
        const scheme = location.protocol;
        const listing = listDocument(document);
        listing.url = location.href;
        listing.html = (type === 'text/html' || type === 'application/xhtml+xml') &&
                       scheme !== 'about:' && scheme !== 'chrome-error:' && scheme !== 'data:';
        listing.frames = [];
        for (let k = 0; k < window.frames.length; ++k) {
          const where = documentOf(k);
          listing.frames.push(where.doc ? listDocument(where.doc) : {crossOrigin: true, forms: [], noForm: []});
        }
        return listing;
      }
      case 'probe':
        return {present: request.targets.map((t) => !locate(t).missing), quietMs: quietMs(), url: location.href};
      case 'fill':
        return fill(request);
      case 'outline':
        return outline(request.target);
    }
    return {error: 'unknown request ' + request.op};
  } catch (e) {
    return {error: String(e && e.message || e)};
  }
})
