// JScript 5.8's globals that Duktape lacks, and JScript's behaviour where Duktape's differs. The
// host compiles this as a function and calls it before the script, with the global object and
// its helpers:
//   host.itemsOf(value)    the items of one of the host's collections, or undefined
//   host.collectGarbage()  a full garbage collection
// Written in the language of the scripts it serves (ES3 with ES5's defineProperty).
function (global, host) {
  var NOT_A_COLLECTION = 0x800A01B6;  // 438, Object doesn't support this property or method

  function hide(object, name, value) {
    Object.defineProperty(object, name, { value: value, writable: true, configurable: true, enumerable: false });
  }

  // ---- the engine's name and version -----------------------------------------------------------

  hide(global, "ScriptEngine", function ScriptEngine() { return "JScript"; });
  hide(global, "ScriptEngineMajorVersion", function ScriptEngineMajorVersion() { return 5; });
  hide(global, "ScriptEngineMinorVersion", function ScriptEngineMinorVersion() { return 8; });
  hide(global, "ScriptEngineBuildVersion", function ScriptEngineBuildVersion() { return 16385; });
  hide(global, "CollectGarbage", function CollectGarbage() { host.collectGarbage(); });

  // ---- Enumerator: over the host's collections (WScript.Arguments, Named, Unnamed) and arrays ---

  var ITEMS = Symbol("items");
  var INDEX = Symbol("index");

  function Enumerator(collection) {
    if (!(this instanceof Enumerator)) return new Enumerator(collection);
    var items = [];
    if (collection instanceof Array) {
      items = collection;
    } else if (collection !== undefined) {
      items = host.itemsOf(collection);
      if (items === undefined) {
        throw new Error(NOT_A_COLLECTION,
                        "Object doesn't support this property or method: Enumerator needs a collection or an array");
      }
    }
    hide(this, ITEMS, items);
    hide(this, INDEX, 0);
  }
  hide(Enumerator.prototype, "atEnd", function atEnd() { return this[INDEX] >= this[ITEMS].length; });
  hide(Enumerator.prototype, "moveNext", function moveNext() {
    if (this[INDEX] < this[ITEMS].length) this[INDEX]++;
  });
  hide(Enumerator.prototype, "moveFirst", function moveFirst() { this[INDEX] = 0; });
  hide(Enumerator.prototype, "item", function item() {
    return this[INDEX] < this[ITEMS].length ? this[ITEMS][this[INDEX]] : undefined;
  });
  hide(global, "Enumerator", Enumerator);

  // ---- RegExp's static match properties, kept after exec, test, match and replace ---------------

  var nativeExec = RegExp.prototype.exec;
  var nativeReplace = String.prototype.replace;
  var slice = Array.prototype.slice;

  function setStatic(names, value) {
    for (var i = 0; i < names.length; i++) RegExp[names[i]] = value;
  }

  function remember(match) {
    if (match === null) return;
    var input = match.input, last = match[0], index = match.index;
    for (var group = 1; group <= 9; group++) {
      RegExp["$" + group] = group < match.length && match[group] !== undefined ? match[group] : "";
    }
    var lastParen = match.length > 1 ? match[match.length - 1] : "";
    setStatic(["input", "$_"], input);
    setStatic(["lastMatch", "$&"], last);
    setStatic(["lastParen", "$+"], lastParen === undefined ? "" : lastParen);
    setStatic(["leftContext", "$`"], input.substring(0, index));
    setStatic(["rightContext", "$'"], input.substring(index + last.length));
    RegExp.index = index;
    RegExp.lastIndex = index + last.length;
  }

  remember({ input: "", 0: "", length: 1, index: 0 });

  function exec(string) {
    var match = nativeExec.call(this, string);
    remember(match);
    return match;
  }

  /// The last match of `pattern` in `string`, as a replace that went over it all left it.
  function lastMatchOf(pattern, string) {
    var flags = (pattern.global ? "g" : "") + (pattern.ignoreCase ? "i" : "") + (pattern.multiline ? "m" : "");
    var copy = new RegExp(pattern.source, flags);
    if (!copy.global) return nativeExec.call(copy, string);
    var found, last = null;
    while ((found = nativeExec.call(copy, string)) !== null) {
      last = found;
      if (found[0] === "") copy.lastIndex++;
    }
    return last;
  }

  hide(RegExp.prototype, "exec", exec);
  hide(RegExp.prototype, "test", function test(string) { return exec.call(this, string) !== null; });

  hide(String.prototype, "match", function match(pattern) {
    var string = String(this);
    var regexp = pattern instanceof RegExp ? pattern : new RegExp(pattern);
    if (!regexp.global) return exec.call(regexp, string);
    regexp.lastIndex = 0;
    var all = [], found, last = null;
    while ((found = nativeExec.call(regexp, string)) !== null) {
      all.push(found[0]);
      last = found;
      if (found[0] === "") regexp.lastIndex++;
    }
    remember(last);
    return all.length > 0 ? all : null;
  });

  hide(String.prototype, "replace", function replace(pattern, replacement) {
    var string = String(this);
    if (!(pattern instanceof RegExp)) return nativeReplace.call(string, pattern, replacement);
    if (typeof replacement === "function") {
      // Inside the function, RegExp.$1 and the others describe the match it replaces.
      return nativeReplace.call(string, pattern, function () {
        var match = slice.call(arguments, 0, arguments.length - 2);
        match.index = arguments[arguments.length - 2];
        match.input = arguments[arguments.length - 1];
        remember(match);
        return replacement.apply(undefined, arguments);
      });
    }
    var result = nativeReplace.call(string, pattern, replacement);
    remember(lastMatchOf(pattern, string));
    return result;
  });

  // ---- Date: getYear and the formats JScript's Date.parse read ----------------------------------

  // The function Date below is hoisted over this whole body: the engine's is global.Date.
  var NativeDate = global.Date;
  var nativeParse = NativeDate.parse;

  hide(NativeDate.prototype, "getYear", function getYear() {
    var year = this.getFullYear();
    return year >= 1900 && year < 2000 ? year - 1900 : year;
  });

  var MONTHS = ["january", "february", "march", "april", "may", "june", "july", "august", "september", "october",
                "november", "december"];
  var DAYS = ["sunday", "monday", "tuesday", "wednesday", "thursday", "friday", "saturday"];
  // The United States zones JScript knew, in minutes east of UTC.
  var ZONES = { est: -300, edt: -240, cst: -360, cdt: -300, mst: -420, mdt: -360, pst: -480, pdt: -420 };

  function isDigit(c) { return c >= "0" && c <= "9"; }
  function isLetter(c) { return (c >= "a" && c <= "z") || (c >= "A" && c <= "Z"); }

  /// The index of the name that `word` starts (three letters at least), or -1.
  function nameIndex(word, names) {
    if (word.length < 3) return -1;
    for (var i = 0; i < names.length; i++) {
      if (names[i].indexOf(word) === 0) return i;
    }
    return -1;
  }

  /// Milliseconds since 1970 for a date as JScript wrote and read it: "6/1/2024 13:05:00",
  /// "2024/06/01", "June 1, 2024", "1 Jun 2024 1:05 PM", "Sat Jun 1 13:05:00 UTC+0800 2024",
  /// "Sat, 1 Jun 2024 05:05:00 UTC"; NaN for anything else. Without a zone the time is local; a
  /// two-digit year is in the 1900s; text in parentheses is a comment.
  function parseJScriptDate(text) {
    var at = 0, end = text.length;
    var year, month, day, hour = 0, minute = 0, second = 0, meridiem = "", offset, afterZone = false;
    var loose = [];

    function digits() {
      var start = at;
      while (at < end && isDigit(text.charAt(at))) at++;
      return text.substring(start, at);
    }

    while (at < end) {
      var c = text.charAt(at);
      var zoneBefore = afterZone;
      afterZone = false;
      if (c === " " || c === "," || c === "." || c === "\t") {
        at++;
        afterZone = zoneBefore && c === " ";
      } else if (c === "(") {
        var close = text.indexOf(")", at);
        if (close < 0) return NaN;
        at = close + 1;
      } else if (isLetter(c)) {
        var start = at;
        while (at < end && isLetter(text.charAt(at))) at++;
        var word = text.substring(start, at).toLowerCase();
        if (word === "am" || word === "pm") {
          meridiem = word;
        } else if (word === "utc" || word === "gmt" || word === "ut" || word === "z") {
          offset = 0;
          afterZone = true;
        } else if (ZONES.hasOwnProperty(word)) {
          offset = ZONES[word];
        } else if (nameIndex(word, MONTHS) >= 0 && month === undefined) {
          month = nameIndex(word, MONTHS);
        } else if (nameIndex(word, DAYS) < 0) {
          return NaN;
        }
      } else if ((c === "+" || c === "-") && zoneBefore) {
        at++;
        var zone = digits();
        if (zone === "") return NaN;
        var minutes = zone.length <= 2 ? zone * 60 : Math.floor(zone / 100) * 60 + zone % 100;
        if (text.charAt(at) === ":") {
          at++;
          minutes = zone * 60 + Number(digits());
        }
        offset += c === "+" ? minutes : -minutes;
      } else if (isDigit(c)) {
        var first = digits();
        if (text.charAt(at) === ":") {
          at++;
          hour = Number(first);
          minute = Number(digits() || NaN);
          if (text.charAt(at) === ":") {
            at++;
            second = Number(digits() || NaN);
          }
        } else if (text.charAt(at) === "/") {
          at++;
          var middle = digits();
          if (middle === "" || text.charAt(at) !== "/") return NaN;
          at++;
          var last = digits();
          if (last === "") return NaN;
          if (first.length > 2) {
            year = Number(first); month = middle - 1; day = Number(last);
          } else {
            month = first - 1; day = Number(middle); year = Number(last);
          }
        } else {
          loose.push(first);
        }
      } else {
        return NaN;
      }
    }
    for (var i = 0; i < loose.length; i++) {
      if (day === undefined && loose[i].length <= 2) {
        day = Number(loose[i]);
      } else if (year === undefined) {
        year = Number(loose[i]);
      } else {
        return NaN;
      }
    }
    if (year === undefined || month === undefined || day === undefined) return NaN;
    if (year < 100) year += 1900;
    if (meridiem === "pm" && hour < 12) hour += 12;
    if (meridiem === "am" && hour === 12) hour = 0;
    if (offset === undefined) return new NativeDate(year, month, day, hour, minute, second).getTime();
    return NativeDate.UTC(year, month, day, hour, minute, second) - offset * 60000;
  }

  function parse(text) {
    var time = parseJScriptDate(String(text));
    return isNaN(time) ? nativeParse.call(NativeDate, text) : time;
  }

  // Date itself, so that new Date("6/1/2024") reads the text as Date.parse does.
  function Date(a, b, c, d, e, f, g) {
    if (!(this instanceof Date)) return NativeDate();
    switch (arguments.length) {
      case 0: return new NativeDate();
      case 1: return new NativeDate(typeof a === "string" ? parse(a) : a);
      case 2: return new NativeDate(a, b);
      case 3: return new NativeDate(a, b, c);
      case 4: return new NativeDate(a, b, c, d);
      case 5: return new NativeDate(a, b, c, d, e);
      case 6: return new NativeDate(a, b, c, d, e, f);
      default: return new NativeDate(a, b, c, d, e, f, g);
    }
  }
  Object.defineProperty(Date, "prototype", { value: NativeDate.prototype });
  hide(NativeDate.prototype, "constructor", Date);
  hide(Date, "parse", parse);
  hide(Date, "UTC", NativeDate.UTC);
  hide(Date, "now", NativeDate.now);
  hide(global, "Date", Date);
}
