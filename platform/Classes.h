#pragma once

#include "platform/Exception.h"

#include <any>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <typeinfo>
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

// One handler of a form, bound by name from the layout. The method pointer is
// checked by the compiler; its signature is checked against the event's when
// the layout is loaded.
class EventBinding {
public:
  template <class Form, class... Args>
  EventBinding(std::string_view name, void (Form::*method)(Args...))
      : name_(name), bind_([method](TForm& form) -> std::any {
          TForm* self = &form; // cast at call time, when the form is complete
          return std::function<void(Args...)>([self, method](Args... args) {
            (static_cast<Form*>(self)->*method)(std::forward<Args>(args)...);
          });
        }) {}

  [[nodiscard]] std::string_view Name() const { return name_; }
  [[nodiscard]] std::any Bind(TForm& form) const { return bind_(form); }

private:
  std::string_view name_;
  std::function<std::any(TForm&)> bind_;
};

class EventTable {
public:
  EventTable(std::initializer_list<EventBinding> bindings) : bindings_(bindings) {}

  // The handler of that name as an event of signature void(Args...).
  // Throws if no handler has that name or if its signature differs.
  template <class... Args>
  [[nodiscard]] std::function<void(Args...)> Bind(std::string_view name, TForm& form) const {
    for (const auto& binding : bindings_) {
      if (binding.Name() != name) continue;
      const std::any bound = binding.Bind(form);
      if (const auto* handler = std::any_cast<std::function<void(Args...)>>(&bound))
        return *handler;
      throw Exception("Le gestionnaire « " + std::string(name) +
                      " » n'a pas la signature de l'événement qui le nomme.");
    }
    throw Exception("Gestionnaire d'événement inconnu : « " + std::string(name) + " ».");
  }

private:
  std::vector<EventBinding> bindings_;
};
