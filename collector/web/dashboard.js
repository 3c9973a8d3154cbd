// The collector's dashboard: every site with its newest reading, and the
// trend of one site's values over a chosen time range. Everything comes from
// this collector (relative addresses, so the page also works behind a proxy
// under a prefix). Which site and range are shown lives in the address
// (#uid=1021&span=24h or #uid=1021&from=...&to=...; ?uid=... also works), so a
// view can be bookmarked and sent.
'use strict';

const RefreshMs = 5000;
// A longer range is drawn as this many time buckets, each with the least and
// greatest value; a range with no more readings is drawn reading by reading.
const ChartPoints = 1000;
const MaxSeries = 64;
const Spans = {'1h': 3600e3, '24h': 86400e3, '7d': 7 * 86400e3};
// A site is marked silent when its newest reading is older than this many of
// its usual intervals; a longer pause between two points of the chart is
// drawn as a gap.
const SilentIntervals = 3;
// A position whose values stay under this share of the largest position's is
// drawn against the right axis, so a counter near 900 leaves a temperature
// near 20 readable.
const RightAxisShare = 0.1;

const view = {uid: null, span: '1h', from: null, to: null};
let sites = [];
let alerts = [];  // what fires now
let serverOffsetMs = 0;  // the collector's clock minus this browser's
let chart = null;
let chartLoads = 0;
let chartTimer = null;
let drawnOnce = false;
let exposePending = false;
const hiddenPositions = new Set();  // by index from 0, kept across charts

const element = id => document.getElementById(id);
// The chart library, loaded after this script, has run by then.
const libraryLoaded = new Promise(resolve => document.addEventListener('DOMContentLoaded', resolve));

function pad(number, width = 2) {
    return String(number).padStart(width, '0');
}

// Local time, "2024-03-05 10:07:02".
function localTime(ms) {
    const t = new Date(ms);
    return `${t.getFullYear()}-${pad(t.getMonth() + 1)}-${pad(t.getDate())} ` +
        `${pad(t.getHours())}:${pad(t.getMinutes())}:${pad(t.getSeconds())}`;
}

// What a datetime-local field takes: "2024-03-05T10:07:02".
function fieldTime(ms) {
    return localTime(ms).replace(' ', 'T');
}

// A tick of the time axis: the day where days are marked or one begins,
// else the time.
function timeTick(time, granularity) {
    const steps = Dygraph.Granularity;
    const midnight = time.getHours() === 0 && time.getMinutes() === 0 && time.getSeconds() === 0;
    if (granularity >= steps.DAILY || (granularity >= steps.MINUTELY && midnight))
        return `${pad(time.getDate())}.${pad(time.getMonth() + 1)}`;
    const minutes = `${pad(time.getHours())}:${pad(time.getMinutes())}`;
    return granularity >= steps.MINUTELY ? minutes : `${minutes}:${pad(time.getSeconds())}`;
}

function decimal(number, digits) {
    return number.toFixed(digits).replace('.', ',');
}

function age(ms) {
    const seconds = Math.floor(ms / 1000);
    if (seconds < 1) return 'przed chwilą';
    if (seconds < 60) return `${seconds} s temu`;
    if (seconds < 3600) return `${Math.floor(seconds / 60)} min temu`;
    if (seconds < 48 * 3600) return `${Math.floor(seconds / 3600)} godz. temu`;
    return `${Math.floor(seconds / 86400)} dni temu`;
}

function interval(seconds) {
    if (seconds === null) return '—';
    if (seconds < 60) return `${decimal(seconds, seconds < 10 ? 1 : 0)} s`;
    if (seconds < 3600) return `${decimal(seconds / 60, seconds < 600 ? 1 : 0)} min`;
    return `${decimal(seconds / 3600, 1)} godz.`;
}

// The data text as a Polish reader writes numbers: "21,4; 4,500; 120".
function values(data) {
    return data === '' ? '—' : data.split(',').map(v => v.replace('.', ',')).join('; ');
}

function collectorNow() {
    return Date.now() + serverOffsetMs;
}

function setStatus(text) {
    element('status').textContent = text;
}

// What went wrong, in words of this page: the server's own (English) text
// never reaches it.
class Trouble extends Error {}

async function getJson(address) {
    let response;
    try {
        response = await fetch(address, {cache: 'no-store'});
    } catch {
        throw new Trouble('Kolektor nie odpowiada');
    }
    if (response.status === 503) {
        const stopping = (await response.text()).startsWith('the collector is stopping');
        throw new Trouble(stopping ? 'Kolektor kończy pracę' : 'Baza danych nie odpowiada');
    }
    if (!response.ok) throw new Trouble(`Kolektor odmówił odpowiedzi (błąd ${response.status})`);
    const date = Date.parse(response.headers.get('Date') ?? '');
    if (!isNaN(date)) serverOffsetMs = date - Date.now();
    try {
        return await response.json();
    } catch {
        throw new Trouble('Kolektor przysłał nieczytelną odpowiedź');
    }
}

function troubleText(error) {
    return error instanceof Trouble ? error.message : 'Błąd strony';
}

function readAddress() {
    const hash = location.hash.slice(1);
    const params = new URLSearchParams(hash !== '' ? hash : location.search.slice(1));
    const uid = params.get('uid') ?? '';
    view.uid = /^-?\d{1,10}$/.test(uid) ? Number(uid) : null;
    const from = Date.parse(params.get('from') ?? '');
    const to = Date.parse(params.get('to') ?? '');
    if (from < to) {
        Object.assign(view, {span: null, from, to});
    } else {
        const span = params.get('span');
        Object.assign(view, {span: span in Spans ? span : '1h', from: null, to: null});
    }
}

function writeAddress() {
    const params = new URLSearchParams({uid: view.uid});
    if (view.span !== null) {
        params.set('span', view.span);
    } else {
        params.set('from', new Date(view.from).toISOString());
        params.set('to', new Date(view.to).toISOString());
    }
    history.replaceState(null, '', '#' + params.toString());
}

function choose(changes) {
    Object.assign(view, changes);
    writeAddress();
    drawSites();
    showTrend();
}

function cell(row, text, className) {
    const td = row.insertCell();
    td.textContent = text;
    if (className) td.className = className;
    return td;
}

function drawSites() {
    const body = element('sites').tBodies[0];
    body.replaceChildren();
    const now = collectorNow();
    for (const site of sites) {
        const row = body.insertRow();
        const since = now - Date.parse(site.time);
        const silent = site.interval !== null && since > SilentIntervals * site.interval * 1000;
        const siteAlerts = alerts.filter(alert => alert.uid === site.uid);
        row.dataset.uid = site.uid;
        row.classList.toggle('silent', silent);
        row.classList.toggle('alerting', siteAlerts.length > 0);
        row.classList.toggle('selected', site.uid === view.uid);
        const link = document.createElement('a');
        link.href = `#uid=${site.uid}`;
        link.textContent = site.uid;
        const first = row.insertCell();
        first.append(link);
        if (siteAlerts.length > 0) {
            const mark = document.createElement('span');
            mark.className = 'mark alarm';
            mark.textContent = 'alarm';
            mark.title = siteAlerts.map(alert => alert.rule).join(', ');
            first.append(' ', mark);
        }
        cell(row, localTime(Date.parse(site.time)));
        const ago = cell(row, age(since), 'age');
        if (silent) {
            const mark = document.createElement('span');
            mark.className = 'mark';
            mark.textContent = 'milczy';
            ago.append(' ', mark);
            row.title = `Brak odczytu od ponad ${SilentIntervals} zwykłych odstępów.`;
        }
        cell(row, interval(site.interval));
        cell(row, site.count, 'count');
        cell(row, values(site.data), 'values');
        row.addEventListener('click', event => {
            if (event.target.tagName !== 'A') choose({uid: site.uid});
        });
    }
    element('no-sites').hidden = sites.length > 0;
}

// "Obiekt 1021: kocioł za gorący, wartość 1: 31,5, od 2024-03-05 10:07:02".
function drawAlerts() {
    const section = element('alerts');
    section.querySelector('ul').replaceChildren(...alerts.map(alert => {
        const item = document.createElement('li');
        const link = document.createElement('a');
        link.href = `#uid=${alert.uid}`;
        link.textContent = `Obiekt ${alert.uid}`;
        const value = alert.value === undefined ? ''
            : `, wartość ${alert.position}: ${String(alert.value).replace('.', ',')}`;
        item.append(link, `: ${alert.rule}${value}, od ${localTime(Date.parse(alert.time))}`);
        return item;
    }));
    section.hidden = alerts.length === 0;
}

async function refreshSites() {
    try {
        [sites, alerts] = await Promise.all([getJson('api/uids'), getJson('api/alerts')]);
        drawSites();
        drawAlerts();
        setStatus('');
    } catch (error) {
        setStatus(`${troubleText(error)}; kolejna próba za chwilę.`);
    }
    setTimeout(refreshSites, RefreshMs);
}

function shownRange() {
    if (view.span === null) return [view.from, view.to];
    const now = collectorNow();
    return [now - Spans[view.span], now];
}

// One chart row per reading: [time, [v, v, v] ...] (the same least, middle
// and greatest value), or per bucket: [time, [min, middle, max] ...].
function readingRow(reading) {
    return [new Date(reading.time), ...reading.values.slice(0, MaxSeries).map(v => [v, v, v])];
}

function bucketRow(bucket) {
    return [new Date(bucket.time),
        ...bucket.min.slice(0, MaxSeries).map((low, i) => [low, (low + bucket.max[i]) / 2, bucket.max[i]])];
}

async function loadChart() {
    clearTimeout(chartTimer);
    const load = ++chartLoads;
    const [from, to] = shownRange();
    const uid = view.uid;
    const range = `uid=${uid}&from=${new Date(from).toISOString()}&to=${new Date(to).toISOString()}`;
    element('csv').href = `export.csv?${range}`;
    for (const [field, time] of [['from', from], ['to', to]]) {
        if (document.activeElement !== element(field)) element(field).value = fieldTime(time);
    }
    try {
        // Both at once: whichever is not needed costs the collector little.
        const [readings, buckets] = await Promise.all([
            getJson(`api/readings?${range}&limit=${ChartPoints + 1}`),
            getJson(`api/readings?${range}&points=${ChartPoints}`)]);
        const rows = withGaps(readings.length <= ChartPoints ? readings.map(readingRow) : buckets.map(bucketRow));
        await libraryLoaded;
        if (load !== chartLoads) return;
        if (typeof Dygraph === 'undefined')
            element('chart-note').textContent = 'Brak biblioteki wykresów (pakiet libjs-dygraphs).';
        else
            draw(rows, from, to);
    } catch (error) {
        if (load === chartLoads)
            element('chart-note').textContent = `Nie udało się pobrać odczytów: ${troubleText(error)}.`;
    }
    // A moving range is read again when a new bucket may have begun.
    if (load === chartLoads && view.span !== null)
        chartTimer = setTimeout(loadChart, Math.max(RefreshMs, Spans[view.span] / ChartPoints));
}

// A row of nothing in the middle of every pause longer than SilentIntervals
// usual intervals (the median time between the rows), so the lines break
// there instead of bridging an outage.
function withGaps(rows) {
    const gaps = rows.slice(1).map((row, i) => row[0] - rows[i][0]).sort((a, b) => a - b);
    if (gaps.length === 0) return rows;
    const longest = SilentIntervals * gaps[Math.floor(gaps.length / 2)];
    const drawn = [rows[0]];
    for (let i = 1; i < rows.length; ++i) {
        const [before, after] = [rows[i - 1][0].getTime(), rows[i][0].getTime()];
        if (after - before > longest) drawn.push([new Date(Math.round((before + after) / 2))]);
        drawn.push(rows[i]);
    }
    return drawn;
}

// The greatest magnitude of each position in the rows.
function magnitudes(rows, series) {
    const greatest = new Array(series).fill(0);
    for (const row of rows)
        for (let i = 1; i < row.length; ++i)
            if (row[i] !== null) greatest[i - 1] = Math.max(greatest[i - 1], ...row[i].map(Math.abs));
    return greatest;
}

// A check box for each position, to hide or show it; those drawn against
// the right axis say so.
function drawPositions(labels, onRight) {
    const list = element('positions');
    list.replaceChildren();
    labels.slice(1).forEach((label, i) => {
        const box = document.createElement('input');
        box.type = 'checkbox';
        box.checked = !hiddenPositions.has(i);
        box.addEventListener('change', () => {
            if (box.checked) hiddenPositions.delete(i); else hiddenPositions.add(i);
            chart?.setVisibility(i, box.checked);
        });
        const name = document.createElement('label');
        name.append(box, ` ${label}${onRight[i] ? ' (prawa oś)' : ''}`);
        list.append(name);
    });
}

function draw(rows, from, to) {
    const chartElement = element('chart');
    const series = Math.max(0, ...rows.map(row => row.length - 1));
    for (const row of rows) while (row.length <= series) row.push(null);
    const labels = ['Czas', ...Array.from({length: series}, (_, i) => `Wartość ${i + 1}`)];
    element('chart-note').textContent = rows.length === 0
        ? 'Brak odczytów w tym zakresie.'
        : 'Zaznacz myszą fragment wykresu, by go powiększyć; dwuklik wraca do całości.';
    if (chart !== null && (rows.length === 0 || chart.numColumns() !== labels.length)) {
        chart.destroy();
        chart = null;
    }
    chartElement.dataset.rows = '[]';
    chartElement.hidden = rows.length === 0;
    const greatest = magnitudes(rows, series);
    const largest = Math.max(0, ...greatest);
    const onRight = greatest.map(m => largest > 0 && m < RightAxisShare * largest);
    drawPositions(rows.length === 0 ? [] : labels, onRight);
    if (rows.length === 0) return;
    exposePending = true;
    const options = {
        file: rows, labels, dateWindow: [from, to],
        visibility: labels.slice(1).map((_, i) => !hiddenPositions.has(i)),
        series: Object.fromEntries(labels.slice(1).map((label, i) => [label, {axis: onRight[i] ? 'y2' : 'y'}])),
        axes: {
            x: {axisLabelFormatter: timeTick, valueFormatter: localTime},
            y2: {independentTicks: onRight.includes(true), drawAxis: onRight.includes(true)},
        },
    };
    if (chart !== null) {
        chart.updateOptions(options);
        return;
    }
    chart = new Dygraph(chartElement, rows, {
        ...options,
        customBars: true,
        legend: 'always',
        labelsDiv: element('legend'),
        drawCallback: exposeDrawn,
        zoomCallback(low, high) {
            // Dragging across chooses that range; a double click (which
            // leaves it unzoomed) or a drag upright keeps the one shown.
            const [shownFrom, shownTo] = this.getOption('dateWindow');
            if (this.isZoomed('x') && (low !== shownFrom || high !== shownTo))
                choose({span: null, from: Math.floor(low), to: Math.ceil(high)});
        },
    });
}

// What the chart holds, as rows of [time in ms, [min, middle, max] or null
// ...], for whoever checks the page; and how long the first one took.
function exposeDrawn(graph) {
    if (!exposePending) return;
    exposePending = false;
    const rows = [];
    for (let r = 0; r < graph.numRows(); ++r) {
        const row = [];
        for (let c = 0; c < graph.numColumns(); ++c) row.push(graph.getValue(r, c));
        rows.push(row);
    }
    element('chart').dataset.rows = JSON.stringify(rows);
    if (!drawnOnce) {
        drawnOnce = true;
        console.info(`dkq-dashboard: wykres ${view.uid}: ${rows.length} punktów ` +
            `po ${Math.round(performance.now())} ms od otwarcia strony`);
    }
}

function showTrend() {
    const trend = element('trend');
    trend.hidden = view.uid === null;
    if (view.uid === null) return;
    element('trend-title').textContent = `Obiekt ${view.uid}: wartości w czasie`;
    for (const button of element('range').querySelectorAll('button[data-span]'))
        button.setAttribute('aria-pressed', String(button.dataset.span === view.span));
    loadChart();
}

function start() {
    readAddress();
    for (const button of element('range').querySelectorAll('button[data-span]'))
        button.addEventListener('click', () => choose({span: button.dataset.span, from: null, to: null}));
    element('range').addEventListener('submit', event => {
        event.preventDefault();
        const from = new Date(element('from').value).getTime();
        const to = new Date(element('to').value).getTime();
        if (from < to) choose({span: null, from, to});
    });
    window.addEventListener('hashchange', () => {
        readAddress();
        drawSites();
        showTrend();
    });
    refreshSites();
    showTrend();
}

start();
