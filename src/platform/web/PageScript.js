// Runs in a world of its own: the page's scripts cannot see or change it. Defines "tavro": the
// web surface's reading of the page, its actions and the checks made right before a press.
(() => {
  if (globalThis.tavro) return;
  const LABEL = 200, VALUE = 1000, TEXT = 4000, OPTIONS = 200;
  const ids = new WeakMap();
  const nodes = new Map();
  let nextId = 1, pruneAt = 8192, mutations = 0;
  // This document among all others: element ids start again in every document, so an action
  // carries the document it was chosen on and acts in no other.
  const documentId = [...crypto.getRandomValues(new Uint32Array(4))].map((n) => n.toString(36)).join('');

  const idOf = (el) => {
    let id = ids.get(el);
    if (id) return id;
    if (nodes.size >= pruneAt) {
      for (const [k, ref] of nodes) if (!ref.deref()) nodes.delete(k);
      pruneAt = Math.max(8192, nodes.size * 2);
    }
    id = nextId++;
    ids.set(el, id);
    nodes.set(id, new WeakRef(el));
    return id;
  };
  const squash = (text, cap) => {
    if (!text) return '';
    if (text.length > cap * 4) text = text.slice(0, cap * 4);
    text = text.replace(/\s+/g, ' ').trim();
    return text.length > cap ? text.slice(0, cap) : text;
  };
  const norm = (text) => String(text ?? '').replace(/\s+/g, ' ').trim().toLowerCase();

  new MutationObserver(() => { mutations++; })
    .observe(document, { subtree: true, childList: true, attributes: true, characterData: true });

  // Elements whose click listeners the page's world reported during this reading.
  let listening = new WeakSet();
  const hear = (e) => { const t = e.composedPath()[0]; if (t instanceof Element) listening.add(t); };
  const hearOn = (doc) => {
    if (!doc.__tavroHears) {
      doc.addEventListener('tavro-listener', hear, true);
      doc.__tavroHears = true;
    }
  };
  const askListeners = (doc) => {
    hearOn(doc);
    doc.dispatchEvent(new Event('tavro-listeners'));
  };

  const SKIP = new Set(['script', 'style', 'noscript', 'template', 'head', 'meta', 'link', 'title', 'svg', 'math']);
  const ROLE = {
    button: 'button', link: 'link', checkbox: 'checkbox', switch: 'checkbox', radio: 'checkbox',
    menuitemcheckbox: 'checkbox', menuitemradio: 'checkbox', tab: 'tab', menuitem: 'button', option: 'button',
    treeitem: 'button', gridcell: 'cell', textbox: 'input', searchbox: 'input', combobox: 'input',
    spinbutton: 'input', slider: 'slider',
  };
  const BUTTON_INPUTS = new Set(['submit', 'button', 'reset', 'image', 'file', 'color']);
  const VALUE_INPUTS = new Set(['date', 'time', 'datetime-local', 'month', 'week']);
  const TEST_KEYS = ['data-testid', 'data-test-id', 'data-test', 'data-qa', 'data-cy'];

  // Labels by the control they name, gathered once per reading for each document or shadow root:
  // asking an element for its labels searches its whole tree each time.
  let labelIndex = new Map();
  // Only a labelable element is ever a label's control, so the index alone answers for any other
  // element too (asking the element for its labels costs a list each time).
  const labelsOf = (el) => {
    const root = el.getRootNode();
    let index = labelIndex.get(root);
    if (!index) {
      index = new Map();
      for (const label of root.querySelectorAll('label')) {
        const control = label.control;
        if (!control) continue;
        if (!index.has(control)) index.set(control, []);
        index.get(control).push(label);
      }
      labelIndex.set(root, index);
    }
    return index.get(el) || [];
  };

  const roleOf = (el) => {
    const role = el.getAttribute('role');
    return role ? role.trim().split(/\s+/)[0].toLowerCase() : '';
  };
  const isEditingHost = (el) => el.isContentEditable && !(el.parentElement && el.parentElement.isContentEditable);

  // A small element with a click listener is a control; a container that delegates clicks is not.
  const clickable = (el) => {
    if (el.hasAttribute('onclick')) return true;
    if (!listening.has(el)) return false;
    const tag = el.localName;
    if (tag === 'html' || tag === 'body') return false;
    return el.getElementsByTagName('*').length <= 40;
  };

  const kindOf = (el) => {
    switch (el.localName) {
      case 'a': if (el.hasAttribute('href')) return 'link'; break;
      case 'button': case 'summary': return 'button';
      case 'select': return 'select';
      case 'textarea': return 'textarea';
      case 'input': {
        const type = el.type;
        if (type === 'hidden') return null;
        if (type === 'checkbox' || type === 'radio') return 'checkbox';
        if (type === 'range') return 'slider';
        if (BUTTON_INPUTS.has(type)) return 'button';
        return 'input';
      }
    }
    const role = roleOf(el);
    if (role && ROLE[role]) return ROLE[role];
    if (isEditingHost(el)) return 'textarea';
    if (clickable(el)) return 'button';
    const tab = el.getAttribute('tabindex');
    if (tab !== null && Number(tab) >= 0 && el.localName !== 'iframe') return 'button';
    return null;
  };

  // Text of an element's content, images by their alternative text.
  const contentText = (el, cap) => {
    const only = el.firstChild;
    if (only && only === el.lastChild && only.nodeType === 3) return squash(only.data, cap);
    let out = '';
    const walker = el.ownerDocument.createTreeWalker(el, NodeFilter.SHOW_ELEMENT | NodeFilter.SHOW_TEXT);
    for (let n = walker.nextNode(); n && out.length < cap * 4; n = walker.nextNode()) {
      if (n.nodeType === 3) out += n.data;
      else if (SKIP.has(n.localName)) { /* its text is not shown */ }
      else if (n.localName === 'img' && n.alt) out += ' ' + n.alt + ' ';
    }
    return squash(out, cap);
  };
  const byIds = (el, list) => {
    const root = el.getRootNode();
    const parts = [];
    for (const id of list.split(/\s+/)) {
      const target = id && root.getElementById ? root.getElementById(id) : null;
      if (target) parts.push(target.getAttribute('aria-label') || contentText(target, LABEL));
    }
    return squash(parts.join(' '), LABEL);
  };
  // Generated text before or after an element (its ::before or ::after content), as drawn.
  const generated = (el, which) => {
    const content = getComputedStyle(el, which).content;
    if (!content || content === 'none' || content === 'normal') return '';
    const parts = content.match(/"(?:[^"\\]|\\.)*"|'(?:[^'\\]|\\.)*'/g) || [];
    return parts.map((p) => p.slice(1, -1).replace(/\\(.)/g, '$1')).join('');
  };
  // The text an element draws: its shadow tree in place of its own children, what a slot shows,
  // generated content and images by their alternative text; nothing that is not rendered.
  const drawnText = (el, cap) => {
    let out = '';
    const visit = (n) => {
      if (out.length >= cap * 4) return;
      if (n.nodeType === 3) { out += n.data; return; }
      if (n.nodeType !== 1 || SKIP.has(n.localName)) return;
      const slot = n.localName === 'slot';
      if (!slot && !n.checkVisibility({ visibilityProperty: true, opacityProperty: true }) &&
          getComputedStyle(n).display !== 'contents') return;
      if (!slot) out += ' ' + generated(n, '::before') + ' ';
      if (n.localName === 'img' && n.alt) out += ' ' + n.alt + ' ';
      if (slot) {
        const assigned = n.assignedNodes({ flatten: true });
        for (const a of assigned.length ? assigned : n.childNodes) visit(a);
      } else {
        for (const c of (n.shadowRoot || n).childNodes) visit(c);
        out += ' ' + generated(n, '::after') + ' ';
      }
    };
    visit(el);
    return squash(out, cap);
  };
  const isTextual = (el) => ['a', 'button', 'summary'].includes(el.localName) || ROLE[roleOf(el)] === 'button' ||
    ['link', 'tab', 'checkbox', 'switch', 'radio', 'option', 'menuitem', 'treeitem', 'gridcell'].includes(roleOf(el));

  const labelOf = (el) => {
    const labelledBy = el.getAttribute('aria-labelledby');
    if (labelledBy) { const text = byIds(el, labelledBy); if (text) return text; }
    const aria = squash(el.getAttribute('aria-label'), LABEL);
    if (aria) return aria;
    const labels = labelsOf(el);
    if (labels.length) {
      const text = squash(labels.map((l) => contentText(l, LABEL)).join(' '), LABEL);
      if (text) return text;
    }
    if (el.localName === 'input' && ['submit', 'button', 'reset'].includes(el.type) && el.value) return squash(el.value, LABEL);
    if (el.localName === 'input' && el.type === 'image' && el.alt) return squash(el.alt, LABEL);
    if (el.localName === 'img' && el.alt) return squash(el.alt, LABEL);
    if (isTextual(el) || (!['input', 'select', 'textarea'].includes(el.localName) && !isEditingHost(el))) {
      // A shadow host draws its shadow tree, not its own children: text that is not drawn is not its name.
      const text = el.shadowRoot ? drawnText(el, LABEL) : contentText(el, LABEL);
      if (text) return text;
    }
    const placeholder = squash(el.getAttribute('placeholder') || el.getAttribute('aria-placeholder'), LABEL);
    if (placeholder) return placeholder;
    return squash(el.getAttribute('title'), LABEL);
  };

  const checkedOf = (el) => {
    if (el.localName === 'input' && (el.type === 'checkbox' || el.type === 'radio')) return el.checked;
    const state = el.getAttribute('aria-checked') ?? el.getAttribute('aria-pressed');
    return state === 'true';
  };
  const valueOf = (el, kind) => {
    const tag = el.localName;
    if (kind === 'checkbox') return checkedOf(el) ? '1' : '0';
    if (tag === 'input') {
      if (el.type === 'password') return '•'.repeat(Math.min(el.value.length, 32));
      if (BUTTON_INPUTS.has(el.type)) return '';
      return squash(el.value, VALUE);
    }
    if (tag === 'textarea') return el.value.length > VALUE ? el.value.slice(0, VALUE) : el.value;
    if (tag === 'select') return squash([...el.selectedOptions].map((o) => o.label || o.text).join(', '), VALUE);
    if (isEditingHost(el)) return contentText(el, VALUE);
    if (kind === 'tab') return el.getAttribute('aria-selected') === 'true' ? 'selected' : '';
    const now = el.getAttribute('aria-valuetext') || el.getAttribute('aria-valuenow');
    return now ? squash(now, VALUE) : '';
  };
  const typeOf = (el) => {
    const role = roleOf(el);
    if (role === 'searchbox') return 'search';
    if (['input', 'button', 'select', 'textarea'].includes(el.localName)) return el.type || el.localName;
    if (role && ROLE[role]) return role;
    return el.localName;
  };
  const keysOf = (el, label) => {
    const keys = [];
    for (const name of ['id', 'name', ...TEST_KEYS]) {
      const key = squash(el.getAttribute(name), LABEL);
      if (key && key !== label && !keys.includes(key)) keys.push(key);
    }
    return keys;
  };
  const disabled = (el) => el.matches(':disabled') || el.getAttribute('aria-disabled') === 'true';

  // The element that holds the focus, through shadow roots and same-origin frames.
  const deepActive = () => {
    let el = document.activeElement;
    for (;;) {
      if (el && el.shadowRoot && el.shadowRoot.activeElement) { el = el.shadowRoot.activeElement; continue; }
      if (el && (el.localName === 'iframe' || el.localName === 'frame')) {
        let doc = null;
        try { doc = el.contentDocument; } catch (e) { doc = null; }
        if (doc && doc.activeElement && doc.activeElement !== doc.body) { el = doc.activeElement; continue; }
      }
      return el;
    }
  };
  const takesText = (el) => !!el && ((el.localName === 'input' && !BUTTON_INPUTS.has(el.type) &&
    !['checkbox', 'radio', 'range', 'hidden'].includes(el.type)) || el.localName === 'textarea' || el.isContentEditable ||
    ['textbox', 'searchbox', 'combobox'].includes(roleOf(el)));

  // Where a frame's content starts in the top viewport.
  const frameOffset = (el) => {
    let x = 0, y = 0;
    for (let win = el.ownerDocument.defaultView; win && win !== window; win = win.parent) {
      const host = win.frameElement;
      if (!host) break;
      const r = host.getBoundingClientRect();
      x += r.left + host.clientLeft; y += r.top + host.clientTop;
    }
    return { x, y };
  };
  const meet = (a, b) => {
    const l = Math.max(a.l, b.l), t = Math.max(a.t, b.t), r = Math.min(a.r, b.r), bo = Math.min(a.b, b.b);
    return { l, t, r: Math.max(l, r), b: Math.max(t, bo) };
  };
  const CAPTCHA = /captcha|challenges\.cloudflare\.com|turnstile/i;

  // The reading. Each element is a list, [id, kind, type, label, value, keys, options, inView, x, y,
  // width, height, focused]: a third of the size of objects to carry out of the page.
  const read = () => {
    listening = new WeakSet();
    typing = null;
    labelIndex = new Map();
    const vw = window.innerWidth, vh = window.innerHeight;
    const active = deepActive();
    const elements = [];
    let text = '', humanCheck = false;
    const docs = [document];
    askListeners(document);
    // Each entry: a node, the offset of its document in the viewport, the area that clips it, and
    // whether it sits inside a control (whose text is the control's label, not page text).
    // Five slots per entry, in one array: no array per node.
    const stack = [document.documentElement, 0, 0, { l: 0, t: 0, r: vw, b: vh }, false];
    while (stack.length) {
      const inControl = stack.pop(), clip = stack.pop(), dy = stack.pop(), dx = stack.pop(), el = stack.pop();
      if (!el || el.nodeType !== 1) continue;
      const tag = el.localName;
      if (SKIP.has(tag) || el.hidden || el.getAttribute('aria-hidden') === 'true') continue;
      const kind = kindOf(el);
      let r = null;
      if (kind) {
        r = el.getBoundingClientRect();
        let shown = r.width > 0 || r.height > 0 ? el.checkVisibility({ visibilityProperty: true }) : false;
        let frame = { x: r.left + dx, y: r.top + dy, width: r.width, height: r.height };
        // A box drawn by its label: the label stands for it on screen.
        if (!shown && kind === 'checkbox' && labelsOf(el).length) {
          const label = labelsOf(el)[0];
          const lr = label.getBoundingClientRect();
          if ((lr.width > 0 || lr.height > 0) && label.checkVisibility({ visibilityProperty: true })) {
            shown = true;
            frame = { x: lr.left + dx, y: lr.top + dy, width: lr.width, height: lr.height };
          }
        }
        if (shown) {
          const label = labelOf(el);
          const seen = meet(clip, { l: frame.x, t: frame.y, r: frame.x + frame.width, b: frame.y + frame.height });
          const inView = seen.r > seen.l && seen.b > seen.t;
          const options = tag === 'select' ? [...el.options].slice(0, OPTIONS).map((o) => squash(o.label || o.text, LABEL)) : [];
          if (inView && /captcha/i.test(label)) humanCheck = true;
          elements.push([idOf(el), kind, typeOf(el), label, valueOf(el, kind), keysOf(el, label), options, inView,
            frame.x, frame.y, frame.width, frame.height, el === active]);
        }
      }
      if (tag === 'select' || tag === 'textarea' || tag === 'input') continue;
      if (tag === 'iframe' || tag === 'frame') {
        const src = el.getAttribute('src') || '';
        if (CAPTCHA.test(src) || CAPTCHA.test(el.getAttribute('title') || '')) humanCheck = true;
        let doc = null;
        try { doc = el.contentDocument; } catch (e) { doc = null; }
        if (doc && doc.documentElement) {
          r = r || el.getBoundingClientRect();
          const ox = dx + r.left + el.clientLeft, oy = dy + r.top + el.clientTop;
          const inner = meet(clip, { l: ox, t: oy, r: ox + el.clientWidth, b: oy + el.clientHeight });
          askListeners(doc);
          docs.push(doc);
          stack.push(doc.documentElement, ox, oy, inner, false);
        }
        continue;
      }
      // A box that scrolls clips what is inside it.
      // The style is asked first: one call, where the sizes take four layout queries.
      let inner = clip;
      if (!kind && tag !== 'html' && tag !== 'body' && el.firstElementChild) {
        const style = getComputedStyle(el);
        if ((style.overflowX !== 'visible' || style.overflowY !== 'visible') &&
            (el.scrollHeight > el.clientHeight + 1 || el.scrollWidth > el.clientWidth + 1)) {
          r = r || el.getBoundingClientRect();
          const bx = r.left + dx + el.clientLeft, by = r.top + dy + el.clientTop;
          inner = meet(clip, { l: bx, t: by, r: bx + el.clientWidth, b: by + el.clientHeight });
        }
      }
      const control = inControl || (kind !== null && kind !== 'cell');
      let ownText = '';
      if (!control && text.length < TEXT) {
        for (let child = el.lastChild; child; child = child.previousSibling) {
          if (child.nodeType === 1) stack.push(child, dx, dy, inner, control);
          else if (child.nodeType === 3) ownText = child.data + ownText;
        }
      } else {
        // Its text is not wanted: the text nodes are not visited at all (each costs the world a
        // wrapper).
        for (let child = el.lastElementChild; child; child = child.previousElementSibling) {
          stack.push(child, dx, dy, inner, control);
        }
      }
      // A shadow root's content is drawn in place of the element's own children: read it first.
      const shadow = el.shadowRoot;
      if (shadow) {
        for (let child = shadow.lastChild; child; child = child.previousSibling) {
          if (child.nodeType === 1) stack.push(child, dx, dy, inner, control);
        }
      }
      if (ownText.trim() && text.length < TEXT) {
        r = r || el.getBoundingClientRect();
        const seen = meet(clip, { l: r.left + dx, t: r.top + dy, r: r.right + dx, b: r.bottom + dy });
        if (seen.r > seen.l && seen.b > seen.t && el.checkVisibility({ visibilityProperty: true })) {
          const piece = squash(ownText, TEXT);
          if (/captcha/i.test(piece)) humanCheck = true;
          text += (text ? '\n' : '') + piece;
        }
      }
    }
    if (text.length > TEXT) text = text.slice(0, TEXT);
    return {
      url: location.href, title: document.title, text, elements, humanCheck,
      keyboardVisible: takesText(active), document: documentId,
    };
  };

  // ---- acting ----

  const ON = ['on', 'yes', 'true', '1', 'enable', 'enabled', 'オン'];
  const OFF = ['off', 'no', 'false', '0', 'disable', 'disabled', 'オフ'];
  const fail = (text) => ({ error: String(text).replace(/[\r\n]+/g, ' ') });
  const ok = { ok: true };
  const input = (steps) => ({ 'tavro.input': steps });

  const composedParent = (n) => n.parentNode || (n.nodeType === 11 && n.host ? n.host : null) ||
    (n.nodeType === 9 && n.defaultView && n.defaultView.frameElement) || null;
  const within = (node, ancestor) => {
    for (let n = node; n; n = composedParent(n)) if (n === ancestor) return true;
    return false;
  };
  // The element a click at the viewport point reaches, through shadow roots and same-origin frames.
  const hitAt = (x, y) => {
    let doc = document, ox = 0, oy = 0;
    for (;;) {
      let el = doc.elementFromPoint(x - ox, y - oy);
      if (!el) return null;
      while (el.shadowRoot) {
        const inner = el.shadowRoot.elementFromPoint(x - ox, y - oy);
        if (!inner || inner === el) break;
        el = inner;
      }
      if (el.localName === 'iframe' || el.localName === 'frame') {
        let inner = null;
        try { inner = el.contentDocument; } catch (e) { inner = null; }
        if (inner) {
          const r = el.getBoundingClientRect();
          ox += r.left + el.clientLeft; oy += r.top + el.clientTop;
          doc = inner;
          continue;
        }
      }
      return el;
    }
  };

  // The node under the point: the engine's finding when it made one, else the page's own.
  const hitNode = (deep, x, y) => deep && typeof deep.nodeType === 'number' ? deep : hitAt(x, y);
  // Whether a press at the point reaches the element by the page's own hit test, made now, and by
  // the engine's, which sees into closed shadow roots (made a moment before): the node in the
  // way when it does not, undefined when it does.
  const blockerAt = (el, target, x, y, deep) => {
    const hit = hitAt(x, y);
    if (!reaches(el, target, hit)) return hit;
    if (deep && typeof deep.nodeType === 'number' && !reaches(el, target, deep)) return deep;
    return undefined;
  };
  // Elements that may hold a shadow root: custom elements and these. Where the page's hit test
  // ends on another, nothing is hidden from it, and the engine need not be asked.
  const HOSTS = new Set(['article', 'aside', 'blockquote', 'body', 'div', 'footer', 'h1', 'h2', 'h3', 'h4', 'h5', 'h6',
    'header', 'main', 'nav', 'p', 'section', 'span']);
  const mayHide = (x, y) => {
    const hit = hitAt(x, y);
    return !!hit && hit.nodeType === 1 && (hit.localName.includes('-') || HOSTS.has(hit.localName));
  };
  // The answer that asks the engine for its own hit test at the point, when the check was made
  // without it (`deep` undefined; null when the engine had none to give).
  const DEEP = { deep: true };
  const CHANGED = 'the page changed since it was read';

  const then = (value, next) => value instanceof Promise ? value.then(next) : next(value);
  // What is touched for the element on screen: the element, or the label that draws a hidden box.
  const standIn = (el) => {
    const r = el.getBoundingClientRect();
    return r.width === 0 && r.height === 0 && labelsOf(el).length ? labelsOf(el)[0] : el;
  };
  // A control of its own: a button, a link, a field, anything with a role or a click handler of
  // its own (the page's world is asked about one the last reading did not hear of).
  const FRAMES = new Set(['iframe', 'frame', 'object', 'embed']);
  const isControl = (n) => {
    if (FRAMES.has(n.localName)) return true;
    if (kindOf(n)) return true;
    if (n.localName === 'html' || n.localName === 'body') return false;
    hearOn(n.ownerDocument);
    n.dispatchEvent(new Event('tavro-ask', { composed: true }));
    return clickable(n);
  };
  // The text a person sees in a node: its own text and, in place of a slot, what is slotted in.
  const shownText = (node, cap) => {
    let out = '';
    const visit = (n) => {
      for (let c = n.firstChild; c && out.length < cap * 4; c = c.nextSibling) {
        if (c.nodeType === 3) out += c.data;
        else if (c.nodeType !== 1 || SKIP.has(c.localName)) continue;
        else if (c.localName === 'slot') for (const a of c.assignedNodes({ flatten: true })) {
          if (a.nodeType === 3) out += a.data; else if (a.nodeType === 1) visit(a);
        }
        else if (c.localName === 'img' && c.alt) out += ' ' + c.alt + ' ';
        else visit(c);
      }
    };
    visit(node);
    return squash(out, cap);
  };
  // A control inside the element's own shadow tree that reads as the element: the component's
  // own inner button, which is the element to a person.
  const partOf = (el, n) => {
    if (n.getRootNode() === el.getRootNode() || FRAMES.has(n.localName)) return false;
    const own = n.getAttribute('aria-label') || shownText(n, LABEL);
    return norm(own) !== '' && norm(own) === norm(labelOf(el));
  };
  // Whether a press that reaches `hit` reaches the element (or what stands for it): the hit is it
  // or inside it, with no control of its own in between (a frame is one), which would take the
  // press instead.
  const reaches = (el, target, hit) => {
    if (!hit) return false;
    const through = (whole) => {
      if (!within(hit, whole)) return false;
      for (let n = hit; n && n !== whole; n = composedParent(n)) {
        if (n !== el && n.nodeType === 1 && isControl(n) && !partOf(el, n)) return null;
      }
      return true;
    };
    let found = through(el);
    if (found === false && target !== el) found = through(target);
    for (const label of found === false ? labelsOf(el) : []) {
      found = through(label);
      if (found !== false) break;
    }
    return found === true;
  };
  // What the element reads as now against how it was read when the action was chosen: a failure
  // when its label changed, or it became another kind of control; else ''.
  const changedFrom = (el, id, was) => {
    const label = labelOf(el);
    const name = was.label || 'element ' + id;
    if (norm(label) !== norm(was.label)) return name + ' now reads ' + (label ? '“' + label + '”' : 'as nothing');
    const kind = kindOf(el);
    if (kind && kind !== was.kind) return name + ' is now a ' + kind;
    return '';
  };
  const coveredBy = (name, hit) => {
    const other = hit && hit.nodeType === 1 ? labelOf(hit) : '';
    return name + ' is covered by ' + (other ? '“' + other + '”' : 'another element');
  };

  // Brings the element (or the label that stands for it) into view and finds the point to touch.
  // A scroll wakes the page's scroll handlers and observers, which run in the next frames and may
  // move things (a sticky header that shrinks once pinned): a point is measured once the page has
  // had two frames, a tenth of a second at most, to do so.
  const afterFrames = (measure) => new Promise((resolve) => {
    let done = false;
    const end = () => { if (!done) { done = true; resolve(measure()); } };
    requestAnimationFrame(() => requestAnimationFrame(end));
    setTimeout(end, 100);
  });
  // The point to touch, or a promise of it when the element had to be scrolled into view.
  const aim = (el, name, id) => {
    labelIndex = new Map();
    const target = standIn(el);
    const before = target.getBoundingClientRect();
    target.scrollIntoView({ block: 'center', inline: 'center', behavior: 'instant' });
    const after = target.getBoundingClientRect();
    const measure = () => pointOf(el, target, name, id);
    return before.top !== after.top || before.left !== after.left ? afterFrames(measure) : measure();
  };
  const pointOf = (el, target, name, id) => {
    // An inline element broken over lines is touched in its first box in view, not in the middle of
    // the area around all of them.
    const o = frameOffset(target);
    const boxes = [...target.getClientRects()].filter((b) => b.width > 0 && b.height > 0);
    const inside = (b) => {
      const cx = b.left + o.x + b.width / 2, cy = b.top + o.y + b.height / 2;
      return cx >= 0 && cy >= 0 && cx < window.innerWidth && cy < window.innerHeight;
    };
    const box = boxes.find(inside) || boxes[0];
    if (!box) return { error: 'element ' + id + ' is not on screen' };
    const x = box.left + o.x + box.width / 2, y = box.top + o.y + box.height / 2;
    if (x < 0 || y < 0 || x >= window.innerWidth || y >= window.innerHeight) {
      return { error: 'element ' + id + ' is not on screen' };
    }
    const hit = hitAt(x, y);
    if (!reaches(el, target, hit)) return { error: coveredBy(name, hit) };
    return { x, y };
  };

  // A press is carried out by the page as a "tap" step: the pointer moves to the point, the
  // element under it is checked again (the move may have run the page's scripts and moved things),
  // the button goes down, is checked once more, and goes up; the element must have heard the click.
  const tap = (el, name, id, hold) => {
    if (disabled(el)) return fail(name + ' is disabled');
    arm(el, id, expected, hold || 0);
    return then(aim(el, name, id), (at) => at.error ? fail(at.error) : input([{ tap: { id, x: at.x, y: at.y, hold: hold || 0 } }]));
  };

  // How the element of the action in progress was read when the action was chosen ({label, kind}).
  let expected = null;
  // The press in progress: its element, what stands for it on screen, how it was read, and what
  // the first trusted click since then reached (undefined until one came). While its button may
  // be down (`live`: until when), every part of the press the page is about to hear is checked
  // first: our listeners come before the page's own on each window, as they are added when the
  // document starts. A part that would reach anything but the element as it was read calls the
  // press off (`stop` says why), and from then on the page hears none of it. For a long press,
  // what comes over the element once it is down is the hold's effect (`effect`): the release is
  // kept from it, and the press stands.
  let armed = null;
  const listened = new WeakSet();
  const PRESS = ['pointerdown', 'mousedown', 'pointerup', 'mouseup', 'click'];
  const guard = (e) => {
    const a = armed;
    if (!a || !a.live || !e.isTrusted) return;
    if (performance.now() > a.live) { a.live = 0; return; }
    // The end of a long press: the pointer goes up, but no click and none of the mouse's own
    // release comes of it, as of a finger's.
    if (a.long && (e.type === 'click' || e.type === 'mouseup')) {
      e.preventDefault();
      e.stopImmediatePropagation();
      return;
    }
    if (!a.stop) {
      const t = e.composedPath()[0];
      const node = t && typeof t.nodeType === 'number' ? t : null;
      const down = e.type === 'pointerdown' || e.type === 'mousedown';
      const holding = a.hold > 0 && a.down && !down;
      const why = (holding ? '' : changedFrom(a.el, a.id, a.was)) || (reaches(a.el, a.target, node) ? ''
        : e.type === 'click' ? (a.was.label || 'element ' + a.id) + ' was not pressed: the click reached ' + nameOf(node)
          : coveredBy(a.was.label || 'element ' + a.id, node));
      if (!why) {
        if (down) a.down = true;
        if (e.type === 'click' && a.landed === undefined) {
          a.landed = node;
          // A click that leaves the document (a link) is told to the browser at once as well.
          if (typeof globalThis.tavroPressed === 'function') {
            globalThis.tavroPressed(JSON.stringify({ id: a.id, reached: true }));
          }
        }
        return;
      }
      a.stop = why;
      a.effect = holding;
    }
    e.preventDefault();
    e.stopImmediatePropagation();
  };
  const listenOn = (win) => {
    if (!win || listened.has(win)) return;
    listened.add(win);
    for (const type of PRESS) win.addEventListener(type, guard, true);
  };
  listenOn(window);
  const nameOf = (node) => {
    // Nodes of a frame are of the frame's own Element type: asked by their node type.
    const el = node && node.nodeType === 1 ? node : node && node.parentElement;
    const label = el ? labelOf(el) : '';
    return label ? '“' + label + '”' : 'another element';
  };
  const elementOf = (id) => {
    const ref = nodes.get(id);
    const el = ref ? ref.deref() : null;
    return el && el.isConnected ? el : null;
  };
  // A press of the element, as it was read (else as it reads now).
  const arm = (el, id, was, hold) => {
    listenOn(el.ownerDocument.defaultView);
    armed = { id, el, target: standIn(el), was: was || { label: labelOf(el), kind: kindOf(el) }, hold, landed: undefined,
      live: 0, down: false, stop: '', effect: false, long: false };
    return armed;
  };

  // With the pointer at the point, before the button goes down: whether it is still over the
  // element, which still reads as it was read. When something else is under the pointer, the
  // element is aimed at once more (the answer is the new point) unless this was the last try.
  // `deep`, when given, is the node the engine's own hit test found at the point: it sees into
  // closed shadow roots, which no script can.
  const recheck = (id, x, y, last, deep) => {
    const el = elementOf(id);
    if (!el) return fail('element ' + id + ' is not on screen');
    const a = armed;
    // Nothing armed here: the press was asked for in another document.
    if (!a || a.id !== id || a.el !== el) return fail(CHANGED);
    labelIndex = new Map();
    a.live = 0;
    a.target = standIn(el);
    const changed = changedFrom(el, id, a.was);
    if (changed) return fail(changed);
    const name = labelOf(el) || 'element ' + id;
    const hit = blockerAt(el, a.target, x, y, deep);
    if (hit === undefined && deep === undefined && mayHide(x, y)) return DEEP;
    if (hit === undefined) {
      // The button goes down next; the page is watched until the press ends, a while at most.
      a.live = performance.now() + a.hold + 10000;
      return ok;
    }
    if (last) return fail(coveredBy(name, hit));
    return then(aim(el, name, id), (at) => at.error ? fail(at.error) : { x: at.x, y: at.y });
  };
  // With the button down (after the hold of a long press): whether the press goes on to its
  // release. When it does not, the answer says why, or {off: true} for what a hold opened, and the
  // button goes up without the page hearing it.
  const held = (id, x, y, deep) => {
    const a = armed;
    if (!a || a.id !== id) return fail('element ' + id + ' was not pressed');
    if (!a.stop && deep === undefined && mayHide(x, y)) return DEEP;
    const hit = hitNode(deep, x, y);
    if (!a.stop) {
      const holding = a.hold > 0 && a.down;
      const blocker = a.el.isConnected ? blockerAt(a.el, a.target, x, y, deep) : null;
      const why = (holding ? '' : changedFrom(a.el, id, a.was)) ||
        (blocker === undefined ? '' : coveredBy(a.was.label || 'element ' + id, blocker));
      if (why) {
        a.stop = why;
        a.effect = holding;
      }
    }
    if (a.effect) return { ok: true, off: true };
    if (!a.stop && a.hold > 0 && !a.long) {
      // A long press is a finger's: the page's own long-press handling runs (the hold, the
      // context menu, the pointer going up), and it never ends in a click.
      const o = frameOffset(hit);
      hit.dispatchEvent(new MouseEvent('contextmenu', { bubbles: true, cancelable: true, composed: true,
        clientX: x - o.x, clientY: y - o.y }));
      a.long = true;
    }
    return a.stop ? fail(a.stop) : ok;
  };
  // After the button went up: the element (or something inside it) received the click, or the
  // press was called off.
  const pressed = (id) => {
    const a = armed;
    armed = null;
    if (!a || a.id !== id) return fail('element ' + id + ' was not pressed');
    if (a.effect) return ok;
    if (a.stop) return fail(a.stop);
    if (a.long) return ok;
    labelIndex = new Map();
    const name = labelOf(a.el) || 'element ' + id;
    if (a.landed === undefined) return fail(name + ' did not receive the click');
    if (!reaches(a.el, a.target, a.landed)) return fail(name + ' was not pressed: the click reached ' + nameOf(a.landed));
    return ok;
  };
  const setCheck = (el, name, id, text) => {
    const word = norm(text);
    const state = checkedOf(el);
    if ((ON.includes(word) && state) || (OFF.includes(word) && !state)) return ok;
    return tap(el, name, id);
  };
  // The option a person means by a text: equal (folded: case, accents and full-width forms
  // aside), then one that starts with it as whole words, then one that holds it as whole words,
  // then one whose words take it in part or misspelt. A number never matches inside a longer number.
  const foldWords = (text) => String(text ?? '').normalize('NFKD')
    .replace(/(?<=[\p{Script=Latin}\p{Script=Greek}\p{Script=Cyrillic}]\p{Mn}*)\p{Mn}/gu, '')
    .normalize('NFC').toLowerCase().split(/[^\p{L}\p{N}\p{M}]+/u).filter((w) => /[\p{L}\p{N}]/u.test(w));
  const wordsAt = (words, part) => {
    for (let at = 0; at + part.length <= words.length; at++) {
      if (part.every((w, k) => words[at + k] === w)) return at;
    }
    return -1;
  };
  const numbersWithin = (words, inWords) => words.every((w) => !/^[0-9]+$/.test(w) || inWords.includes(w));
  const near = (a, b) => {
    const m = Math.min([...a].length, [...b].length);
    if (a === b) return true;
    if (m < 3) return false;
    const x = [...a], y = [...b];
    let row = Array.from({ length: y.length + 1 }, (_, j) => j);
    for (let i = 1; i <= x.length; i++) {
      const next = [i];
      for (let j = 1; j <= y.length; j++) next[j] = Math.min(row[j] + 1, next[j - 1] + 1, row[j - 1] + (x[i - 1] === y[j - 1] ? 0 : 1));
      row = next;
    }
    return row[y.length] <= (m < 6 ? 1 : 2);
  };
  const optionFor = (options, text) => {
    const want = foldWords(text);
    if (!want.length) return undefined;
    const joinedWant = want.join('');
    const words = options.map((o) => foldWords(o.label || o.text));
    const pass = (test) => options.find((o, i) => words[i].length && test(words[i], words[i].join('')));
    const loose = (test) => pass((w, j) => numbersWithin(want, w) && numbersWithin(w, want) && test(j));
    return pass((w) => w.length === want.length && wordsAt(w, want) === 0) ||
      pass((w, j) => j === joinedWant) ||
      options.find((o) => o.value === text) ||
      pass((w) => wordsAt(w, want) === 0) ||
      pass((w) => wordsAt(w, want) >= 0) ||
      loose((j) => j.startsWith(joinedWant)) ||
      loose((j) => j.includes(joinedWant) || joinedWant.includes(j)) ||
      loose((j) => near(j, joinedWant));
  };
  const fire = (el, type) => el.dispatchEvent(new Event(type, { bubbles: true }));

  const choose = (el, name, id, text, kind) => {
    const tag = el.localName;
    if (tag === 'select') {
      const options = [...el.options];
      const found = options.find((o) => o.text === text || o.label === text) || optionFor(options, text);
      if (!found) {
        return fail(name + ' has no option “' + text + '”; options: ' +
          options.slice(0, 30).map((o) => squash(o.label || o.text, 60)).join(', '));
      }
      if (disabled(el) || found.disabled) return fail(name + ' is disabled');
      el.scrollIntoView({ block: 'center', behavior: 'instant' });
      if (el.multiple) found.selected = true; else el.value = found.value;
      fire(el, 'input');
      fire(el, 'change');
      return ok;
    }
    if (tag === 'input' && el.type === 'range') {
      const min = el.min === '' ? 0 : Number(el.min), max = el.max === '' ? 100 : Number(el.max);
      const word = norm(text);
      let value = ['max', 'maximum', 'highest', 'largest', 'most', 'full'].includes(word) ? max
        : ['min', 'minimum', 'lowest', 'smallest', 'least', 'none'].includes(word) ? min : parseFloat(word);
      if (!Number.isFinite(value) || value < min || value > max) {
        return fail(name + ' takes a number from ' + min + ' to ' + max);
      }
      if (disabled(el)) return fail(name + ' is disabled');
      el.value = String(value);
      fire(el, 'input');
      fire(el, 'change');
      return ok;
    }
    if (kind === 'checkbox') {
      const word = norm(text);
      if (!ON.includes(word) && !OFF.includes(word)) return fail(name + ' is a switch; choose on or off');
      return setCheck(el, name, id, text);
    }
    if (takesText(el)) return type(el, name, id, text, false);
    return tap(el, name, id);
  };

  const type = (el, name, id, text, submit) => {
    if (!takesText(el)) return fail(name + ' is not a text field');
    if (disabled(el)) return fail(name + ' is disabled');
    if (el.readOnly || el.getAttribute('aria-readonly') === 'true') return fail(name + ' is read-only');
    el.scrollIntoView({ block: 'center', inline: 'center', behavior: 'instant' });
    if (el.localName === 'input' && VALUE_INPUTS.has(el.type)) {
      el.focus();
      el.value = text;
      if (text && !el.value) return fail(name + ' does not take “' + text + '”');
      fire(el, 'input');
      fire(el, 'change');
      if (!submit) return ok;
      startTyping(el, name);
      return input([{ key: 'Enter' }]);
    }
    el.focus();
    if (deepActive() !== el) return fail(name + ' cannot be edited');
    startTyping(el, name);
    if (el.localName === 'input' || el.localName === 'textarea') {
      el.select();
    } else {
      const range = el.ownerDocument.createRange();
      range.selectNodeContents(el);
      const selection = el.ownerDocument.getSelection();
      selection.removeAllRanges();
      selection.addRange(range);
    }
    const steps = [text ? { type: text } : { key: 'Backspace' },
      { script: 'tavro.changed(' + id + ', ' + JSON.stringify(text) + ')' }];
    if (submit) steps.push({ key: 'Enter' });
    return input(steps);
  };

  // The typing in progress: its field, and why it stopped. Every key and text input the page is
  // about to hear goes to the field or to nothing: one that would reach anything else (a handler
  // moved the focus to a button, where a space or Enter would press it) stops the typing, and the
  // page hears none of it from then on.
  let typing = null;
  const keysHeard = new WeakSet();
  const startTyping = (el, name) => {
    const win = el.ownerDocument.defaultView;
    if (win && !keysHeard.has(win)) { keysHeard.add(win); keysOn(win); }
    typing = { el, name, stop: '', live: performance.now() + 30000 };
  };
  const KEYS = ['keydown', 'keypress', 'keyup', 'beforeinput', 'input', 'textInput', 'compositionstart',
    'compositionupdate', 'compositionend'];
  const keyGuard = (e) => {
    const t = typing;
    if (!t || !e.isTrusted) return;
    if (performance.now() > t.live) { typing = null; return; }
    if (!t.stop) {
      const node = e.composedPath()[0];
      if (node && typeof node.nodeType === 'number' && within(node, t.el)) return;
      t.stop = t.name + ' lost the focus to ' + nameOf(node) + '; typing stopped there';
    }
    e.preventDefault();
    e.stopImmediatePropagation();
  };
  const keysOn = (win) => { for (const type of KEYS) win.addEventListener(type, keyGuard, true); };
  keysHeard.add(window);
  keysOn(window);
  // Before each key: whether the field still holds the focus (else the typing stops there).
  const typingState = () => {
    const t = typing;
    // Nothing typed here: the typing began in another document.
    if (!t) return fail(CHANGED);
    if (!t.stop && deepActive() !== t.el) t.stop = t.name + ' lost the focus to ' + nameOf(deepActive()) + '; typing stopped there';
    return t.stop ? fail(t.stop) : ok;
  };
  // After the last key: whether a key was kept from anything but the field on the way.
  const typed = () => typing && typing.stop ? fail(typing.stop) : ok;

  const DIRECTIONS = ['up', 'down', 'left', 'right'];
  const directionOf = (text) => {
    const t = String(text || '').toLowerCase();
    if (t.includes('up')) return 'up';
    if (t.includes('left')) return 'left';
    if (t.includes('right')) return 'right';
    return 'down';
  };
  const vertical = (d) => d === 'up' || d === 'down';
  const page = () => document.scrollingElement || document.documentElement;
  const scrollsAlong = (el, d) => {
    if (el === page()) {
      return vertical(d) ? el.scrollHeight > window.innerHeight + 1 : el.scrollWidth > window.innerWidth + 1;
    }
    const more = vertical(d) ? el.scrollHeight > el.clientHeight + 1 : el.scrollWidth > el.clientWidth + 1;
    if (!more) return false;
    const style = getComputedStyle(el);
    const overflow = vertical(d) ? style.overflowY : style.overflowX;
    return overflow === 'auto' || overflow === 'scroll' || overflow === 'overlay';
  };
  const atEnd = (el, d) => {
    const isPage = el === page();
    const height = isPage ? window.innerHeight : el.clientHeight, width = isPage ? window.innerWidth : el.clientWidth;
    if (d === 'up') return el.scrollTop <= 0;
    if (d === 'down') return el.scrollTop + height >= el.scrollHeight - 1;
    if (d === 'left') return el.scrollLeft <= 0;
    return el.scrollLeft + width >= el.scrollWidth - 1;
  };
  const END = { up: 'already at the top', down: 'already at the bottom', left: 'already at the left edge',
    right: 'already at the right edge' };
  const scrollOnce = (el, d, none) => {
    if (!el) return fail(none);
    if (atEnd(el, d)) return fail(END[d]);
    const isPage = el === page();
    const step = 0.8 * (vertical(d) ? (isPage ? window.innerHeight : el.clientHeight) : (isPage ? window.innerWidth : el.clientWidth));
    const by = d === 'up' || d === 'left' ? -step : step;
    el.scrollBy({ top: vertical(d) ? by : 0, left: vertical(d) ? 0 : by, behavior: 'instant' });
    return ok;
  };
  // The element itself or the nearest box around it that scrolls that way, else the page.
  const enclosing = (el, d) => {
    for (let n = el; n; n = composedParent(n)) {
      if (n.nodeType === 1 && n !== page() && scrollsAlong(n, d)) return n;
    }
    return scrollsAlong(page(), d) ? page() : null;
  };
  // The box that scrolls that way and shows the most of itself: a box filling half the viewport
  // or more before the page, the page before smaller boxes, and boxes at their end last of all.
  const largest = (d) => {
    let free = null, freeArea = 0, stuck = null, stuckArea = 0;
    const visit = (root) => {
      for (const el of root.querySelectorAll('*')) {
        if (el.shadowRoot) visit(el.shadowRoot);
        if (el === page() || el.localName === 'body' || !scrollsAlong(el, d)) continue;
        const r = el.getBoundingClientRect();
        const w = Math.min(r.right, window.innerWidth) - Math.max(r.left, 0);
        const h = Math.min(r.bottom, window.innerHeight) - Math.max(r.top, 0);
        if (w <= 0 || h <= 0) continue;
        if (!atEnd(el, d)) { if (w * h > freeArea) { free = el; freeArea = w * h; } }
        else if (w * h > stuckArea) { stuck = el; stuckArea = w * h; }
      }
    };
    visit(document);
    const whole = page();
    const wholeScrolls = scrollsAlong(whole, d);
    if (free && freeArea >= window.innerWidth * window.innerHeight / 2) return free;
    if (wholeScrolls && !atEnd(whole, d)) return whole;
    if (free) return free;
    if (wholeScrolls) return whole;
    return stuck;
  };

  const perform = (action) => {
    if (!action || typeof action !== 'object') return fail('the action is not readable');
    const kind = String(action.kind || '');
    const text = typeof action.text === 'string' ? action.text : '';
    const id = Number.isInteger(action.id) ? action.id : null;
    const known = ['click', 'type', 'select', 'scroll', 'swipe', 'longPress', 'navigate', 'back'];
    if (!known.includes(kind)) return fail(kind + ' is not a screen action');
    if (kind === 'navigate') return fail('this page has no routes; tap its links instead');
    if (typeof action.document === 'string' && action.document !== documentId) return fail(CHANGED);
    typing = null;

    let el = null;
    if (id !== null) {
      const ref = nodes.get(id);
      el = ref ? ref.deref() : null;
      if (!el || !el.isConnected) return fail('element ' + id + ' is not on screen');
    } else if (kind === 'type') {
      const active = deepActive();
      if (!takesText(active)) return fail('type needs the id of a text field');
      el = active;
    } else if (kind === 'click' || kind === 'select' || kind === 'longPress') {
      return fail(kind + ' needs an element id');
    }
    const elId = el ? idOf(el) : null;
    const name = el ? (labelOf(el) || 'element ' + elId) : '';
    const elKind = el ? kindOf(el) : null;
    // An element acted on is the one the action was chosen on only while it reads as it was read
    // (its labels found as the reading found them; the checks of a press look afresh).
    expected = null;
    if (el && kind !== 'scroll' && kind !== 'swipe' && kind !== 'back') {
      const read = action.element && typeof action.element === 'object' ? action.element : {};
      expected = { label: typeof read.label === 'string' ? read.label : labelOf(el),
        kind: typeof read.kind === 'string' ? read.kind : elKind };
      const changed = changedFrom(el, elId, expected);
      if (changed) return fail(changed);
    }
    labelIndex = new Map();

    switch (kind) {
      case 'click':
        if (el.localName === 'select' || elKind === 'slider') {
          if (text) return choose(el, name, elId, text, elKind);
          return fail(name + ' takes a value; use select with one of its options');
        }
        if (elKind === 'checkbox') return setCheck(el, name, elId, text);
        return tap(el, name, elId);
      case 'type':
        if (el.localName === 'select' || elKind === 'slider') return choose(el, name, elId, text, elKind);
        if (elKind === 'checkbox') return setCheck(el, name, elId, text);
        return type(el, name, elId, text, !!action.submit);
      case 'select':
        return choose(el, name, elId, text, elKind);
      case 'scroll': {
        const d = directionOf(text);
        return scrollOnce(el ? enclosing(el, d) : largest(d), d, 'nothing to scroll here');
      }
      case 'swipe': {
        const t = text.toLowerCase();
        const finger = DIRECTIONS.find((w) => t.includes(w));
        if (!finger) return fail('swipe needs left, right, up or down');
        // Content follows the finger: a swipe to the left brings in what lies to the right.
        const d = { left: 'right', right: 'left', up: 'down', down: 'up' }[finger];
        return scrollOnce(el ? enclosing(el, d) : largest(d), d, 'nothing to swipe here');
      }
      case 'longPress': {
        return tap(el, name, elId, 800);
      }
      case 'back': {
        const active = deepActive();
        if (takesText(active)) { active.blur(); return ok; }
        return input([{ back: true }]);
      }
    }
    return fail(kind + ' is not a screen action');
  };

  // Letters and digits in lower case: what a field that formats its text (brackets in a phone
  // number, spaces in a card number) still holds of what was typed.
  const essence = (text) => String(text ?? '').toLowerCase().replace(/[^\p{L}\p{N}]+/gu, '');
  // After typing: the change event a person's leaving the field would give, and a failure when the
  // field took none of the text (a number field given words, keys the page refused). Whether what
  // it shows is the text is judged by the reader's caller, by one rule for every field.
  const changed = (id, text) => {
    const el = elementOf(id);
    if (!el) return fail('element ' + id + ' is not on screen');
    if (typing && typing.stop) return fail(typing.stop);
    const field = el.localName === 'input' || el.localName === 'textarea';
    if (field) fire(el, 'change');
    else if (!el.isContentEditable) return ok;
    if (!text) return ok;
    const now = field ? el.value : el.textContent;
    const want = essence(text);
    const name = labelOf(el) || 'element ' + id;
    // A password is never read out, so it is judged here, and never written out either.
    if (el.type === 'password') return !want || essence(now).includes(want) ? ok : fail(name + ' does not hold what was typed');
    if (!want || essence(now)) return ok;
    return fail(name + ' does not take “' + text + '”');
  };

  // ---- what a step reaches ----

  // What an action will reach beyond its element's name, as acting would resolve it: the words the
  // control draws that its name lacks, the options its text picks (by their text or by their
  // value), and the words of the button a submission presses (the form's default button).
  const reach = (action) => {
    const out = { shows: [], picks: [], submits: [] };
    if (!action || typeof action !== 'object') return out;
    if (typeof action.document === 'string' && action.document !== documentId) return out;
    const kind = String(action.kind || '');
    const text = typeof action.text === 'string' ? action.text : '';
    const el = Number.isInteger(action.id) ? elementOf(action.id) : (kind === 'type' ? deepActive() : null);
    if (!el || !el.isConnected) return out;
    labelIndex = new Map();
    const add = (list, words) => { words = squash(words, LABEL); if (words && !list.includes(words)) list.push(words); };
    const tag = el.localName;
    if (!['input', 'select', 'textarea'].includes(tag) && !isEditingHost(el)) {
      const drawn = drawnText(el, LABEL);
      if (drawn && !norm(labelOf(el)).includes(norm(drawn))) add(out.shows, drawn);
    }
    if (tag === 'select' && text) {
      const options = [...el.options];
      for (const o of options) if (o.value === text || o.text === text || o.label === text) add(out.picks, o.label || o.text);
      const found = optionFor(options, text);
      if (found) add(out.picks, found.label || found.text);
    }
    if (kind === 'type' && action.submit && el.form) {
      const button = [...el.form.elements].find((b) => (b.localName === 'button' && b.type === 'submit') ||
        (b.localName === 'input' && (b.type === 'submit' || b.type === 'image')));
      if (button) {
        add(out.submits, labelOf(button));
        const drawn = button.localName === 'button' ? drawnText(button, LABEL) : '';
        if (drawn && norm(drawn) !== norm(labelOf(button))) add(out.submits, drawn);
      }
    }
    return out;
  };

  const api = Object.freeze({ read, perform, reach, changed, recheck, held, pressed, typing: typingState, typed,
    activity: () => ({ mutations }) });
  Object.defineProperty(globalThis, 'tavro', { value: api, writable: false, configurable: false });
})();
