#pragma once

#include "classes/Exception.h"

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// 8-bit text in the wire's code page, as the controls give and take it.
using AnsiString = std::string;

class TObject {
public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

// A component belongs to its owner, which destroys it, in reverse order of
// creation, when it is destroyed itself.
class TComponent : public TObject {
public:
  TComponent(TComponent* owner, std::string name) : owner_(owner), name_(std::move(name)) {}
  ~TComponent() override { DestroyComponents(); }

  [[nodiscard]] const std::string& Name() const { return name_; }
  [[nodiscard]] TComponent* Owner() const { return owner_; }

  // Creates a component owned by this one.
  template <class T, class... Args> T& Create(std::string name, Args&&... args) {
    auto component = std::make_unique<T>(this, std::move(name), std::forward<Args>(args)...);
    T& created = *component;
    components_.push_back(std::move(component));
    return created;
  }

  // The owned component of that name and class; throws if there is none.
  template <class T> T& Component(std::string_view name) const {
    for (const auto& component : components_)
      if (component->Name() == name) {
        if (auto* typed = dynamic_cast<T*>(component.get())) return *typed;
        throw Exception("Le composant « " + std::string(name) +
                        " » n'est pas de la classe attendue.");
      }
    throw Exception("Composant inconnu : « " + std::string(name) + " ».");
  }

  [[nodiscard]] const std::vector<std::unique_ptr<TComponent>>& Components() const {
    return components_;
  }

protected:
  void DestroyComponents() {
    while (!components_.empty())
      components_.pop_back();
  }

private:
  TComponent* owner_;
  std::string name_;
  std::vector<std::unique_ptr<TComponent>> components_;
};

class TForm;

// The handlers of one kind of event, by the names a layout gives them. An
// entry's method has the event's own signature, or it does not compile.
template <class... Args> class HandlerTable {
public:
  struct Entry {
    std::string_view name;
    std::function<void(TForm&, Args...)> call;
  };

  HandlerTable(std::initializer_list<Entry> entries) : entries_(entries) {}

  // The handler of that name, bound to the form; throws if there is none.
  [[nodiscard]] std::function<void(Args...)> Bind(std::string_view name, TForm& form) const {
    for (const Entry& entry : entries_)
      if (entry.name == name)
        return
            [call = entry.call, &form](Args... args) { call(form, std::forward<Args>(args)...); };
    throw Exception("Gestionnaire d'événement inconnu : « " + std::string(name) + " ».");
  }

private:
  std::vector<Entry> entries_;
};

// An entry for a form's method, in the table of its event's kind.
template <class Form, class... Args>
typename HandlerTable<Args...>::Entry Handler(std::string_view name,
                                              void (Form::*method)(Args...)) {
  return {name, [method](TForm& form, Args... args) {
            // Cast at call time, when the form is complete.
            (static_cast<Form&>(form).*method)(std::forward<Args>(args)...);
          }};
}

// Every kind of event a layout binds by name, each in a table of its own.
struct EventTables {
  HandlerTable<TObject*> notify{};                                // clicks
  HandlerTable<TComponent*, int, AnsiString, int> dataReceived{}; // datagrams
};
