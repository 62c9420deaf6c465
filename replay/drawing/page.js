(function () {
  'use strict';
  const D = JSON.parse(document.getElementById('chart-data').textContent);
  const NS = 'http://www.w3.org/2000/svg';
  const svg = document.getElementById('chart');
  const panels = Array.from(svg.querySelectorAll('g.panel'));
  const readout = document.getElementById('readout');
  const rangeText = document.getElementById('range');
  const zoomOut = document.getElementById('zoom-out');
  const n = D.bars.length;
  const hidden = new Set();
  let view = { a: 0, b: n - 1 };  // the bars in view

  const cross = document.createElementNS(NS, 'line');
  cross.setAttribute('id', 'crosshair');
  cross.setAttribute('stroke', '#333');
  cross.setAttribute('stroke-dasharray', '3 3');
  cross.setAttribute('pointer-events', 'none');
  cross.style.display = 'none';
  svg.appendChild(cross);
  const band = document.createElementNS(NS, 'rect');
  band.setAttribute('fill', 'rgba(31,95,191,0.15)');
  band.setAttribute('pointer-events', 'none');
  band.style.display = 'none';
  svg.appendChild(band);

  const two = (v) => String(v).padStart(2, '0');
  const dateText = (d) => Math.floor(d / 10000) + '-' + two(Math.floor(d / 100) % 100) + '-' + two(d % 100);
  const timeText = (t) => two(Math.floor(t / 100)) + ':' + two(t % 100);
  const intraday = D.bars.some((bar) => bar[1] !== 0);
  const number = (v) => (v === null || v === undefined) ? '\u2013' : String(Number(v.toPrecision(7)));

  // Zoom: bar i's centre at plotLeft + (i + 0.5) * step, scaled about the view.
  const scale = () => D.plotWidth / ((view.b - view.a + 1) * D.step);
  const shift = () => D.plotLeft - (D.plotLeft + view.a * D.step) * scale();
  const xOf = (i) => (D.plotLeft + (i + 0.5) * D.step) * scale() + shift();
  const barAt = (x) => {
    const original = (x - shift()) / scale();
    return Math.max(view.a, Math.min(view.b, Math.floor((original - D.plotLeft) / D.step)));
  };
  const inPlot = (x) => x >= D.plotLeft && x <= D.plotLeft + D.plotWidth;
  const toSvg = (event) => {
    const p = svg.createSVGPoint();
    p.x = event.clientX;
    p.y = event.clientY;
    return p.matrixTransform(svg.getScreenCTM().inverse());
  };

  function stackPanels() {
    let up = 0;
    panels.forEach((g, i) => {
      const top = Number(g.dataset.top), next = i + 1 < panels.length ? Number(panels[i + 1].dataset.top) : D.height;
      if (hidden.has(i)) {
        g.style.display = 'none';
        up += next - top;
      } else {
        g.style.display = '';
        if (up) g.setAttribute('transform', 'translate(0,' + (-up) + ')'); else g.removeAttribute('transform');
      }
    });
    const height = Math.max(D.height - up, 80);
    svg.setAttribute('height', height);
    svg.setAttribute('viewBox', '0 0 ' + D.width + ' ' + height);
    cross.setAttribute('y2', height);
  }

  function axisLabel(i, spansDays) {
    const bar = D.bars[i];
    if (!intraday) return dateText(bar[0]);
    return spansDays ? dateText(bar[0]).slice(5) + ' ' + timeText(bar[1]) : timeText(bar[1]);
  }

  function applyZoom() {
    const zoomed = view.a !== 0 || view.b !== n - 1;
    const k = scale(), t = shift();
    panels.forEach((g) => {
      g.querySelector('g.zoom').setAttribute('transform', zoomed ? 'translate(' + t + ',0) scale(' + k + ',1)' : '');
      g.querySelector('g.time-axis').style.display = zoomed ? 'none' : '';
      redrawMarks(g, zoomed);
      drawVanished(g);
      let own = g.querySelector('g.js-time-axis');
      if (own) own.remove();
      if (!zoomed) return;
      own = document.createElementNS(NS, 'g');
      own.setAttribute('class', 'js-time-axis');
      const clip = svg.querySelector('#clip-' + g.id.slice(6) + ' rect');
      const y = Number(clip.getAttribute('y')) + Number(clip.getAttribute('height')) + 14;
      const spansDays = D.bars[view.a][0] !== D.bars[view.b][0];
      const count = view.b - view.a + 1, every = Math.max(1, Math.ceil(count / 8));
      for (let i = view.a + Math.floor(every / 2); i <= view.b; i += every) {
        const text = document.createElementNS(NS, 'text');
        text.setAttribute('x', xOf(i));
        text.setAttribute('y', y);
        text.setAttribute('text-anchor', 'middle');
        text.setAttribute('font-size', '10');
        text.setAttribute('fill', '#555555');
        text.textContent = axisLabel(i, spansDays);
        own.appendChild(text);
      }
      g.appendChild(own);
    });
    zoomOut.disabled = !zoomed;
    const when = (bar) => dateText(bar[0]) + (intraday ? ' ' + timeText(bar[1]) : '');
    rangeText.textContent = 'bars ' + when(D.bars[view.a]) + ' to ' + when(D.bars[view.b]) +
      ' (' + (view.b - view.a + 1) + ' of ' + n + ')' + (zoomed ? '' : ' \u00b7 drag across the chart to zoom');
  }

  // Signal marks keep their shape in a zoom: drawn again for the bars in view.
  const byName = new Map(D.columns.map((c) => [c.name, c]));
  function redrawMarks(g, zoomed) {
    g.querySelectorAll('path.js-mark').forEach((m) => m.remove());
    const marks = Array.from(g.querySelectorAll('g.zoom path[data-y]'));
    marks.forEach((m) => { m.style.display = zoomed ? 'none' : ''; });
    if (!zoomed) return;
    const half = Math.max(1.5, Math.min(4.5, D.step * scale() * 0.4)), h = half * 1.6;
    for (const m of marks) {
      const c = byName.get(m.dataset.column), up = m.classList.contains('up'), y = Number(m.dataset.y);
      let d = '';
      for (let i = Math.max(view.a, c.from); i <= view.b; i++) {
        const v = c.values[i];
        if (v === null || !(up ? v > 0 : v < 0)) continue;
        const x = xOf(i);
        d += up ? `M${x - half} ${y + h / 2}L${x + half} ${y + h / 2}L${x} ${y - h / 2}Z`
                : `M${x - half} ${y - h / 2}L${x + half} ${y - h / 2}L${x} ${y + h / 2}Z`;
      }
      const path = document.createElementNS(NS, 'path');
      path.setAttribute('class', 'js-mark');
      path.setAttribute('fill', m.getAttribute('fill'));
      path.setAttribute('d', d);
      m.parentNode.parentNode.appendChild(path);
    }
  }

  // Signals that showed while a bar formed and were gone at its close (the
  // final value has another sign, or none): hollow marks on the same rows,
  // for the bars in view, while the check box asks for them.
  let showVanished = true;
  const shows = (trail, up) => trail.slice(0, -1).includes(up ? '+' : '-') && trail.slice(-1) !== (up ? '+' : '-');
  function drawVanished(g) {
    g.querySelectorAll('path.js-vanished').forEach((m) => m.remove());
    if (!showVanished) return;
    const half = Math.max(1.5, Math.min(4.5, D.step * scale() * 0.4)), h = half * 1.6;
    for (const m of g.querySelectorAll('g.zoom path[data-y]')) {
      const c = byName.get(m.dataset.column);
      if (!c || !c.seen) continue;
      const up = m.classList.contains('up'), y = Number(m.dataset.y);
      let d = '';
      for (let i = Math.max(view.a, c.from); i <= view.b; i++) {
        if (!shows(c.seen[i], up)) continue;
        const x = xOf(i);
        d += up ? `M${x - half} ${y + h / 2}L${x + half} ${y + h / 2}L${x} ${y - h / 2}Z`
                : `M${x - half} ${y - h / 2}L${x + half} ${y - h / 2}L${x} ${y + h / 2}Z`;
      }
      const path = document.createElementNS(NS, 'path');
      path.setAttribute('class', 'js-vanished ' + (up ? 'up' : 'down'));
      path.dataset.column = m.dataset.column;
      path.setAttribute('fill', 'none');
      path.setAttribute('stroke', m.getAttribute('fill'));
      path.setAttribute('stroke-width', '1');
      path.setAttribute('d', d);
      m.parentNode.parentNode.appendChild(path);
    }
  }
  // A trail as the readout lists it: "+1 0 -1".
  const signs = { '+': '+1', '0': '0', '-': '-1', '~': '\u2026' };
  const trailText = (trail) => Array.from(trail, (ch) => signs[ch]).join(' ');

  function row(key, name, value, colour) {
    const tr = document.createElement('tr');
    tr.dataset.key = key;
    const th = document.createElement('th');
    if (colour) {
      const s = document.createElement('span');
      s.className = 'swatch';
      s.style.background = colour;
      th.appendChild(s);
    }
    th.appendChild(document.createTextNode(name));
    const td = document.createElement('td');
    td.textContent = value;
    tr.append(th, td);
    return tr;
  }

  function show(i, clientX) {
    // The readout keeps to the side away from the pointer.
    const left = clientX > window.innerWidth / 2;
    readout.style.left = left ? '12px' : 'auto';
    readout.style.right = left ? 'auto' : '12px';
    const bar = D.bars[i];
    const body = document.createElement('tbody');
    body.append(row('date', 'date', dateText(bar[0])), row('time', 'time', bar[1] ? timeText(bar[1]) : '\u2013'));
    ['open', 'high', 'low', 'close', 'volume'].forEach((k, j) => body.append(row(k, k, number(bar[2 + j]))));
    let panel = -1;
    for (const c of D.columns) {
      if (hidden.has(c.panel)) continue;
      if (c.panel !== panel) {
        panel = c.panel;
        const head = row('panel-' + panel, panels[panel].dataset.title, '');
        head.className = 'section';
        body.append(head);
      }
      body.append(row(c.name, c.label, i >= c.from ? number(c.values[i]) : '\u2013', c.colour));
      // The signal values this bar showed while it formed, where they changed.
      if (c.seen && i >= c.from && c.seen[i].length > 1) body.append(row(c.name + ' seen', '\u2003seen', trailText(c.seen[i])));
    }
    const table = readout.querySelector('table');
    table.replaceChildren(body);
    readout.style.display = 'block';
    const x = xOf(i);
    cross.setAttribute('x1', x);
    cross.setAttribute('x2', x);
    cross.setAttribute('y1', 56);
    cross.style.display = '';
  }

  function hide() {
    readout.style.display = 'none';
    cross.style.display = 'none';
  }

  let dragFrom = null;
  svg.addEventListener('mousedown', (e) => {
    const p = toSvg(e);
    if (!inPlot(p.x)) return;
    dragFrom = barAt(p.x);
    e.preventDefault();
  });
  svg.addEventListener('mousemove', (e) => {
    const p = toSvg(e);
    if (!inPlot(p.x)) { hide(); return; }
    const i = barAt(p.x);
    show(i, e.clientX);
    if (dragFrom !== null && i !== dragFrom) {
      const a = Math.min(i, dragFrom), b = Math.max(i, dragFrom);
      const left = xOf(a) - D.step * scale() / 2, right = xOf(b) + D.step * scale() / 2;
      band.setAttribute('x', left);
      band.setAttribute('width', right - left);
      band.setAttribute('y', 56);
      band.setAttribute('height', svg.viewBox.baseVal.height - 56);
      band.style.display = '';
    }
  });
  svg.addEventListener('mouseleave', hide);
  window.addEventListener('mouseup', (e) => {
    if (dragFrom === null) return;
    const p = toSvg(e);
    const i = barAt(p.x), from = dragFrom;
    dragFrom = null;
    band.style.display = 'none';
    if (Math.abs(i - from) >= 1) zoomTo(Math.min(i, from), Math.max(i, from));
  });
  svg.addEventListener('dblclick', () => zoomTo(0, n - 1));
  zoomOut.addEventListener('click', () => zoomTo(0, n - 1));

  function zoomTo(a, b) {
    view = { a: Math.max(0, a), b: Math.min(n - 1, b) };
    applyZoom();
  }

  const toggles = document.getElementById('toggles');
  panels.forEach((g, i) => {
    const label = document.createElement('label');
    const box = document.createElement('input');
    box.type = 'checkbox';
    box.checked = true;
    box.dataset.panel = String(i);
    box.addEventListener('change', () => {
      if (box.checked) hidden.delete(i); else hidden.add(i);
      stackPanels();
    });
    label.append(box, ' ' + g.dataset.title);
    toggles.append(label);
  });

  if (D.columns.some((c) => c.seen)) {
    const label = document.createElement('label');
    const box = document.createElement('input');
    box.type = 'checkbox';
    box.checked = true;
    box.id = 'vanished';
    box.addEventListener('change', () => {
      showVanished = box.checked;
      applyZoom();
    });
    label.append(box, ' vanished signals');
    toggles.after(label);
  }

  // For scripts driving the page: the bar in view, where bar i is drawn.
  window.zarnChart = {
    bars: n,
    view: () => ({ a: view.a, b: view.b }),
    zoomTo,
    // Where bar i sits in the window (client pixels), in the middle of the
    // first panel shown.
    pointOf: (i) => {
      const visible = panels.find((g, k) => !hidden.has(k));
      const clip = svg.querySelector('#clip-' + visible.id.slice(6) + ' rect');
      const p = svg.createSVGPoint();
      p.x = xOf(i);
      p.y = Number(clip.getAttribute('y')) + Number(clip.getAttribute('height')) / 2;
      const q = p.matrixTransform(visible.getScreenCTM());
      return { x: q.x, y: q.y };
    },
  };
  stackPanels();
  applyZoom();
})();
